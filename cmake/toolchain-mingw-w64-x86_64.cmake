# Cross build for 64-bit Windows with Debian's MinGW-w64, linked statically.
# The win32 thread model: nothing here uses C++ threads, and the posix
# model would link winpthread into SetUp.exe (about 26 KB). GoogleTest is
# built without its thread support to match (tests/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TX_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${TX_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${TX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Tests built here run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
