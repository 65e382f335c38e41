// Records the uninstaller's wish to be removed after it ends; removing
// them from a fake file system is left to the test (Exit does it).
#pragma once

#include <string>
#include <vector>

#include "platform/SelfRemover.h"
#include "tests/fakes/FakeFileSystem.h"

namespace tx {

class FakeSelfRemover : public ISelfRemover {
public:
    [[nodiscard]] bool RemoveAfterExit(const std::string& image,
                                       const std::vector<std::string>& folders) override {
        ++calls;
        this->image = image;
        this->folders = folders;
        return result;
    }
    // What the cleanup copy does once the uninstaller has ended.
    void Exit(FakeFileSystem& fs) {
        if (calls == 0 || !result) return;
        // It goes as far as it can, as the real one does: a folder that
        // is not empty stays.
        (void)fs.DeleteFile(image);
        for (const std::string& f : folders) (void)fs.RemoveDirectory(f);
    }

    int calls = 0;
    bool result = true;
    std::string image;
    std::vector<std::string> folders;
};

}  // namespace tx
