// Sleeps for the number of seconds given (default 30), then exits, so a
// test that dies early leaves nothing running for long.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 30) * 1000);
    return 0;
}
