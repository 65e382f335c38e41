// The scenario's control: loads each DLL named on the command line by its
// bare name, the way a program that does not restrict its DLL search
// would, and reports where each came from. Copied beside the planted DLLs,
// it shows that the harness makes Windows' search order (program folder
// first) for those names.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        wchar_t name[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, argv[i], -1, name, MAX_PATH) == 0) return 2;
        HMODULE module = LoadLibraryW(name);
        if (module == nullptr) {
            std::printf("%s: not loaded (error %lu)\n", argv[i], GetLastError());
            continue;
        }
        char path[MAX_PATH] = {};
        GetModuleFileNameA(module, path, MAX_PATH);
        std::printf("%s: %s\n", argv[i], path);
        FreeLibrary(module);
    }
    return 0;
}
