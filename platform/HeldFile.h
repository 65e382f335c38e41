// A file held open for reading and shared for reading only, from its check
// to its copy: while held, nobody can write, rename, replace or delete it,
// so what was checked is what is read later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/OsResult.h"

namespace tx {

// What the open file itself is (GetFileInformationByHandle).
struct HeldFileFacts {
    std::uint64_t size = 0;
    std::uint32_t links = 1;    // names the file has (hard links)
    bool directory = false;
    bool reparsePoint = false;  // a symbolic link, a mount point or another reparse point
    std::uint64_t lastWrite = 0;  // FILETIME, 100 ns since 1601
};

class IHeldFile {
public:
    virtual ~IHeldFile() = default;
    // The path it was opened by, for messages.
    virtual const std::string& Path() const = 0;
    virtual OsResult Facts(HeldFileFacts* facts) = 0;
    // Up to size bytes from offset into buffer; *read is 0 at the end.
    virtual OsResult Read(std::uint64_t offset, char* buffer, std::size_t size,
                          std::size_t* read) = 0;
};

}  // namespace tx
