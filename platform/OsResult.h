// What a call into the system came to: done, or failed with the system's
// code (GetLastError() taken right after the call). A missing file is an
// outcome like any other: the caller looks at the code where it makes the
// call, and must look, since the result cannot be dropped unnoticed.
#pragma once

#include <cstdint>

namespace tx {

// Win32 error codes the core and its fakes name.
constexpr std::uint32_t kErrorFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorPathNotFound = 3;       // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t kErrorAccessDenied = 5;       // ERROR_ACCESS_DENIED
constexpr std::uint32_t kErrorNotSameDevice = 17;     // ERROR_NOT_SAME_DEVICE
constexpr std::uint32_t kErrorWriteProtect = 19;      // ERROR_WRITE_PROTECT
constexpr std::uint32_t kErrorWriteFault = 29;        // ERROR_WRITE_FAULT
constexpr std::uint32_t kErrorGenFailure = 31;        // ERROR_GEN_FAILURE
constexpr std::uint32_t kErrorSharingViolation = 32;  // ERROR_SHARING_VIOLATION
constexpr std::uint32_t kErrorFileExists = 80;        // ERROR_FILE_EXISTS
constexpr std::uint32_t kErrorInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr std::uint32_t kErrorDiskFull = 112;         // ERROR_DISK_FULL
constexpr std::uint32_t kErrorInvalidName = 123;      // ERROR_INVALID_NAME
constexpr std::uint32_t kErrorDirNotEmpty = 145;      // ERROR_DIR_NOT_EMPTY
constexpr std::uint32_t kErrorAlreadyExists = 183;    // ERROR_ALREADY_EXISTS
constexpr std::uint32_t kErrorDirectory = 267;        // ERROR_DIRECTORY: not a folder
constexpr std::uint32_t kErrorCantAccessFile = 1920;  // ERROR_CANT_ACCESS_FILE: a link refused

class [[nodiscard]] OsResult {
public:
    static OsResult Ok() { return OsResult(0); }
    // A failure always carries a code: one the system did not give is
    // ERROR_GEN_FAILURE.
    static OsResult Fail(std::uint32_t code) {
        return OsResult(code == 0 ? kErrorGenFailure : code);
    }

    // True when the call did what it was asked.
    explicit operator bool() const { return code_ == 0; }
    // The system's code; 0 when done.
    std::uint32_t Code() const { return code_; }

private:
    explicit OsResult(std::uint32_t code) : code_(code) {}
    std::uint32_t code_;
};

}  // namespace tx
