// Folder protection in memory: records each request with what the file
// system looked like at that moment, and refuses what is not a folder.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/FolderSecurity.h"

namespace tx {

class FakeFileSystem;

class FakeFolderSecurity : public IFolderSecurity {
public:
    struct Call {
        std::string folder;
        bool wasFolder;              // the folder existed, as a folder
        std::size_t copiesBefore;    // CopyFile calls made before this one
    };

    // Without a file system every folder counts as existing.
    explicit FakeFolderSecurity(const FakeFileSystem* fileSystem = nullptr)
        : fs_(fileSystem) {}

    // The request for this folder fails (as for a link, or a file in use).
    void FailFor(const std::string& folder) { failures_.push_back(folder); }

    const std::vector<Call>& Calls() const { return calls_; }
    // Folders protected so far, as they were named.
    const std::vector<std::string>& Protected() const { return protected_; }

    bool ProtectInstallFolder(const std::string& folder) override;

private:
    const FakeFileSystem* fs_;
    std::vector<std::string> failures_;
    std::vector<Call> calls_;
    std::vector<std::string> protected_;
};

}  // namespace tx
