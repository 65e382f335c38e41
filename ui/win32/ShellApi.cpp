#include "ui/win32/ShellApi.h"

namespace tx {

bool ShellApi::Load() {
    if (ready_) return true;
    if (!ole32_.Loaded()) ole32_ = SystemLibrary(L"ole32.dll");
    if (!shell32_.Loaded()) shell32_ = SystemLibrary(L"shell32.dll");
    coInitializeEx = ole32_.Proc<decltype(CoInitializeEx)>("CoInitializeEx");
    coUninitialize = ole32_.Proc<decltype(CoUninitialize)>("CoUninitialize");
    shGetMalloc = shell32_.Proc<decltype(SHGetMalloc)>("SHGetMalloc");
    shBrowseForFolder = shell32_.Proc<decltype(SHBrowseForFolderA)>("SHBrowseForFolderA");
    shGetPathFromIdList = shell32_.Proc<decltype(SHGetPathFromIDListA)>("SHGetPathFromIDListA");
    ready_ = coInitializeEx != nullptr && coUninitialize != nullptr && shGetMalloc != nullptr &&
             shBrowseForFolder != nullptr && shGetPathFromIdList != nullptr;
    if (!ready_) {
        coInitializeEx = nullptr;
        coUninitialize = nullptr;
        shGetMalloc = nullptr;
        shBrowseForFolder = nullptr;
        shGetPathFromIdList = nullptr;
    }
    return ready_;
}

}  // namespace tx
