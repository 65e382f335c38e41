#include "tests/fakes/FakeFolderSecurity.h"

#include <algorithm>

#include "tests/fakes/FakeFileSystem.h"

namespace tx {

bool FakeFolderSecurity::ProtectInstallFolder(const std::string& folder) {
    const bool isFolder = fs_ == nullptr || fs_->IsFolder(folder);
    calls_.push_back({folder, isFolder, fs_ == nullptr ? 0 : fs_->CopyCalls().size()});
    if (!isFolder || folder.empty()) return false;
    if (std::find(failures_.begin(), failures_.end(), folder) != failures_.end()) return false;
    protected_.push_back(folder);
    return true;
}

}  // namespace tx
