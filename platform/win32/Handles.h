// Owners of kernel handles and LocalAlloc'd memory: each is released on
// every path. Win32 marks "no handle" with null or INVALID_HANDLE_VALUE
// depending on the call, so both count as empty here; compare get() with
// the failure value of the call that made it.
#pragma once

#include <windows.h>

#include <memory>

namespace tx {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
// CreateFileA, CreateToolhelp32Snapshot, processes, tokens.
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FindCloser {
    void operator()(HANDLE h) const {
        if (h != nullptr && h != INVALID_HANDLE_VALUE) FindClose(h);
    }
};
// FindFirstFileA.
using UniqueFind = std::unique_ptr<void, FindCloser>;

struct LocalFreer {
    void operator()(void* p) const {
        if (p != nullptr) LocalFree(p);
    }
};
// Memory the security functions hand out with LocalAlloc.
template <class T>
using LocalPtr = std::unique_ptr<T, LocalFreer>;

}  // namespace tx
