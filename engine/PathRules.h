// The folder chooser's rules for a typed installation folder: its syntax, the
// creation of missing levels and the questions and reports around them.
//
// Paths are ANSI text in the process's code page. They are split at '\' and
// their names checked character by character, so a double-byte character
// whose second byte is 0x5C or 0x7C stays part of its name.
#pragma once

#include <string>

#include "platform/FileSystem.h"
#include "platform/CodePage.h"

namespace tx {

// CheckOrCreatePath's results.
constexpr int kPathValid = 0;          // valid; in create mode every level exists
constexpr int kPathInvalid = 1;        // bad syntax
constexpr int kPathCannotCreate = 2;   // a level could not be created
// ConfirmFolder's extra result: the user declined to create a missing folder.
constexpr int kPathDeclined = -1;

// One folder name: not empty, no leading or trailing tab, space or full stop,
// none of  " * / : < > ? \ |  as a character of its own. Null is invalid.
bool IsValidPathComponent(const char* name, const CodePage& codePage);

// The syntax a check-only CheckOrCreatePath judges, for a text of any
// length: an ASCII drive letter, ':', '\', then valid names each after a
// single '\'. A drive root ("C:\") is well formed; "C:", "C:name",
// "\\server\share" and a trailing '\' after a name are not.
bool IsWellFormedFolderPath(const std::string& path, const CodePage& codePage);

// The application's title as the window framework derives it when the program
// defines none: the program file's name without its extension.
std::string AppTitleFromModulePath(const std::string& modulePath, const CodePage& codePage);

// What confirming a typed folder asks and tells the user.
class IFolderQuestions {
public:
    virtual ~IFolderQuestions() = default;
    // The folder does not exist: true to make it.
    virtual bool CreateMissing(const std::string& path) = 0;
    virtual void Invalid(const std::string& path) = 0;
    virtual void NotCreated(const std::string& path) = 0;
};

// Checks a typed folder and, on request, creates its missing levels top down.
class FolderRules {
public:
    FolderRules(IFileSystem& fileSystem, IFolderQuestions& questions, const CodePage& codePage);

    // checkOnly: only the syntax is judged and the disk is not touched.
    // Otherwise each level is created in turn; levels made before one that
    // fails stay. Returns kPathValid, kPathInvalid or kPathCannotCreate.
    // A drive root ("C:\") is valid; in create mode it must exist.
    int CheckOrCreatePath(const char* path, bool checkOnly) const;

    // The OK of the chooser: kPathValid when the path names something that
    // exists (a file counts) or was created now; kPathInvalid or
    // kPathCannotCreate after reporting it; kPathDeclined when the user
    // answered the creation question with anything but Yes.
    int ConfirmFolder(const char* path) const;

private:
    void Report(int result, const std::string& path) const;

    IFileSystem& fileSystem_;
    IFolderQuestions& questions_;
    CodePage codePage_;
};

}  // namespace tx
