// The shell and COM calls of the folder chooser. They come from System32,
// loaded on the first Browse and kept while the owner lives: the setup
// dialog needs neither DLL unless the user browses.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include "platform/win32/SystemLibrary.h"

namespace tx {

class ShellApi {
public:
    // Loads ole32 and shell32 and finds the chooser's calls, once; true when
    // every call is there. After a failure each call stays null.
    bool Load();
    bool Ready() const { return ready_; }

    decltype(CoInitializeEx)* coInitializeEx = nullptr;
    decltype(CoUninitialize)* coUninitialize = nullptr;
    decltype(SHGetMalloc)* shGetMalloc = nullptr;
    decltype(SHBrowseForFolderA)* shBrowseForFolder = nullptr;
    decltype(SHGetPathFromIDListA)* shGetPathFromIdList = nullptr;

private:
    SystemLibrary ole32_;
    SystemLibrary shell32_;
    bool ready_ = false;
};

}  // namespace tx
