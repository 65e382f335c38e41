// A DLL of the Windows system folder, loaded by the program itself when it
// first needs it. SetUp.exe runs elevated from a folder its user controls
// (Downloads), and Windows looks in the program's folder first for DLLs that
// are not KnownDLLs: so nothing is loaded by a bare name, and the program's
// import table names KnownDLLs only.
#pragma once

#include <windows.h>

namespace tx {

// Limits the default DLL search of the whole process to System32 (before
// anything loads a library). Where SetDefaultDllDirectories is missing
// (Windows 7 without KB2533623) the current directory is dropped from the
// search instead; the program's folder then stays in it, so explicit loads
// go by full path. Returns true when the search is System32 only.
[[nodiscard]] bool RestrictDllSearchToSystem32();

// True when LoadLibraryExW knows LOAD_LIBRARY_SEARCH_SYSTEM32: the update
// that brings it also brings SetDefaultDllDirectories.
bool SystemSearchFlagSupported();

// Owns one reference to a System32 DLL; FreeLibrary on destruction.
class SystemLibrary {
public:
    SystemLibrary() = default;
    // Loads name (a bare file name such as L"comctl32.dll") from System32
    // only, by the search flag where it is known, else by its full path.
    // A name with a path part is refused. Loaded() tells the outcome.
    explicit SystemLibrary(const wchar_t* name);
    // The same, choosing the way: byFullPath ignores the search flag.
    SystemLibrary(const wchar_t* name, bool byFullPath);
    ~SystemLibrary() { Reset(); }

    SystemLibrary(SystemLibrary&& other) noexcept : module_(other.module_) {
        other.module_ = nullptr;
    }
    SystemLibrary& operator=(SystemLibrary&& other) noexcept {
        if (this != &other) {
            Reset();
            module_ = other.module_;
            other.module_ = nullptr;
        }
        return *this;
    }
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr; }
    HMODULE get() const { return module_; }

    // The export name as a pointer of the function type F (give it as
    // decltype(SomeApi)), or null when the library or the export is missing.
    template <class F>
    F* Proc(const char* name) const {
        if (module_ == nullptr) return nullptr;
        // Through the generic function pointer type: GetProcAddress's own
        // type says nothing of the export's signature.
        return reinterpret_cast<F*>(
            reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

    void Reset();

private:
    HMODULE module_ = nullptr;
};

}  // namespace tx
