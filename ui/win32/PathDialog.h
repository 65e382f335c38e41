// The folder chooser: the shell's folder browser with an added edit box in
// which any path may be typed. OK judges the typed text, offers to create a
// missing folder and closes the browser only on a folder that exists.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/FileSystem.h"
#include "platform/CodePage.h"
#include "ui/win32/ShellApi.h"

namespace tx {

// Controls of the browse window the chooser works with.
constexpr int kIdcBrowseTree = 14145;    // the shell's folder tree
constexpr int kIdcBrowseStatus = 14147;  // the shell's status line
constexpr int kIdcFolderEdit = 14148;    // the edit box the chooser adds

class CPathDialog;

// Subclasses the shell's browse window while it is open, so that OK and the
// edit box's changes reach the chooser before the shell. Detaches itself when
// the window is destroyed, or at the latest with this object.
class CPathDialogSub {
public:
    explicit CPathDialogSub(CPathDialog* owner) : m_pOwnerDialog(owner) {}
    ~CPathDialogSub() { Detach(); }
    CPathDialogSub(const CPathDialogSub&) = delete;
    CPathDialogSub& operator=(const CPathDialogSub&) = delete;

    bool Attach(HWND wnd);
    void Detach();
    HWND Handle() const { return m_hWnd; }

private:
    static LRESULT CALLBACK WindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void OnOK();
    void OnEditChange();

    CPathDialog* m_pOwnerDialog;
    HWND m_hWnd = nullptr;
    WNDPROC m_previousProc = nullptr;
};

class CPathDialog {
public:
    // caption: the browse window's caption; title: the text the shell shows
    // above the tree; initialFolder: the folder selected at the start (null:
    // the current directory). Each may be null and must outlive the chooser.
    // parent: owner of the browser; null takes the thread's active window.
    // fileSystem: where typed folders are looked up and created. shell: the
    // shell's calls, loaded by the first DoModal; it must outlive the chooser.
    CPathDialog(const char* caption, const char* title, const char* initialFolder, HWND parent,
                IFileSystem& fileSystem, ShellApi& shell);
    CPathDialog(const CPathDialog&) = delete;
    CPathDialog& operator=(const CPathDialog&) = delete;

    // Runs the browser. IDOK (1) when a folder was accepted, -1 on Cancel,
    // on the close box, or when the shell or its allocator is not available.
    int DoModal();

    // The accepted folder; meaningful after DoModal returned IDOK.
    std::string GetChosenPath() const { return m_szChosenPath; }

    static int CALLBACK BrowseCallback(HWND wnd, UINT msg, LPARAM param, LPARAM data);

private:
    friend class CPathDialogSub;

    void OnInitialized(HWND wnd);
    void OnSelectionChanged(HWND wnd, LPCITEMIDLIST item);
    std::string ReadEdit();
    void EnableOk(bool enable) const;

    const char* m_pszCaption;
    const char* m_pszInitialFolder;
    char m_szChosenPath[MAX_PATH] = {};
    BROWSEINFOA m_browseInfo;
    HWND m_hBrowseWnd = nullptr;
    HWND m_hOwnerWnd;
    int m_bAccepted = 0;
    IFileSystem& m_fileSystem;
    ShellApi& m_shell;
    CodePage m_codePage;
    CPathDialogSub m_browseWndSub;
};

// The setup dialog's Browse: opens the chooser on *folderText as typed and,
// when a folder is accepted, replaces *folderText with it. Returns true then;
// false leaves *folderText unchanged.
bool BrowseForInstallFolder(HWND owner, IFileSystem& fileSystem, ShellApi& shell,
                            std::string* folderText);

}  // namespace tx
