// IHeldFile over a file handle opened for reading.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "platform/HeldFile.h"
#include "platform/win32/Handles.h"

namespace tx {

class Win32HeldFile final : public IHeldFile {
public:
    // Owns file from now on.
    Win32HeldFile(UniqueHandle file, std::string path)
        : owned_(std::move(file)), handle_(owned_.get()), path_(std::move(path)) {}
    // Reads through a handle someone else keeps (the program's own file).
    Win32HeldFile(HANDLE borrowed, std::string path) : handle_(borrowed), path_(std::move(path)) {}

    const std::string& Path() const override { return path_; }
    OsResult Facts(HeldFileFacts* facts) override;
    OsResult Read(std::uint64_t offset, char* buffer, std::size_t size, std::size_t* read) override;

private:
    UniqueHandle owned_;
    HANDLE handle_;
    std::string path_;
};

}  // namespace tx
