/* The product version, for the C++ sources and the resource compiler alike. */
#pragma once

#define TX_VERSION_YEAR 2023
#define TX_VERSION_MONTH 12
#define TX_VERSION_DAY 18

#define TX_STRINGIZE2(x) #x
#define TX_STRINGIZE(x) TX_STRINGIZE2(x)
/* "2023.12.18" */
#define TX_VERSION_TEXT \
    TX_STRINGIZE(TX_VERSION_YEAR) "." TX_STRINGIZE(TX_VERSION_MONTH) "." TX_STRINGIZE(TX_VERSION_DAY)
/* "2023,12,18,0": Active Setup compares versions in this form. */
#define TX_VERSION_COMMAS \
    TX_STRINGIZE(TX_VERSION_YEAR) "," TX_STRINGIZE(TX_VERSION_MONTH) "," TX_STRINGIZE(TX_VERSION_DAY) ",0"
