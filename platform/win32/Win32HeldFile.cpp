#include "platform/win32/Win32HeldFile.h"

#include <algorithm>

namespace tx {

OsResult Win32HeldFile::Facts(HeldFileFacts* facts) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle_, &info)) return OsResult::Fail(GetLastError());
    facts->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts->links = info.nNumberOfLinks;
    facts->directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts->reparsePoint = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts->lastWrite = (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                       info.ftLastWriteTime.dwLowDateTime;
    return OsResult::Ok();
}

OsResult Win32HeldFile::Read(std::uint64_t offset, char* buffer, std::size_t size,
                             std::size_t* read) {
    *read = 0;
    // On a handle opened for synchronous access, ReadFile reads at the
    // OVERLAPPED's offset and waits until it is done.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!ReadFile(handle_, buffer, chunk, &got, &at)) {
        const DWORD error = GetLastError();
        // Reading at or past the end is the end, not a failure.
        if (error == ERROR_HANDLE_EOF) return OsResult::Ok();
        return OsResult::Fail(error);
    }
    *read = got;
    return OsResult::Ok();
}

}  // namespace tx
