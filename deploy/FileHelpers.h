// Small file operations shared by everything that writes or restores a
// file: the attribute and stream quirks of CopyFile, and deleting or
// restoring a file that may be in use.
#pragma once

#include <cstdint>
#include <string>

#include "platform/FileSystem.h"
#include "platform/CodePage.h"
#include "platform/HeldFile.h"
#include "platform/Processes.h"

namespace tx {

// Beside a file in use: the copy the next restart renames onto it.
constexpr const char* kRestoreSuffix = ".tarnix-restore";

// FileExists results.
constexpr int kPathMissing = 0;
constexpr int kPathIsFile = 1;
constexpr int kPathIsFolder = 2;

// What a file operation that may be finished by the next restart came to.
enum class FileStatus { Done, AtRestart, Failed };
struct [[nodiscard]] FileOutcome {
    FileStatus status;
    std::uint32_t error = 0;  // the system's code when it failed
};

// Where a file is written or read: in the installation folder, which only
// administrators may change, or anywhere else (AutoCAD's folders, the
// user's), where someone else may have put a link of its name.
enum class FilePlace { OwnFolder, Elsewhere };

// source over target. In the installation folder CopyFile, which follows
// links and takes the source's attributes and streams along. Elsewhere
// through ReadWholeFile and WriteWholeFile, which refuse a link or a file
// of several names at either end, and the source's attributes set after;
// its streams stay behind.
OsResult CopyTo(IFileSystem& fs, const std::string& source, const std::string& target,
                FilePlace place);
// A checked package file, read through the handle it was checked through,
// onto target. In the installation folder CopyFromHeld, which keeps its
// date. Elsewhere through WriteWholeFile, which refuses a link or a file of
// several names at target, as CopyTo does.
OsResult CopyHeldTo(IFileSystem& fs, IHeldFile& source, const std::string& target,
                    FilePlace place);

// Clears the read-only bit, when set.
void ClearReadOnly(IFileSystem& fs, const std::string& path);
// Before a copy over path: CopyFile refuses a hidden or read-only target,
// so a hidden desktop.ini copied once would block every later installation
// (and every restore of a hidden file). Folders are left alone.
void ClearForOverwrite(IFileSystem& fs, const std::string& path);
// After a copy to path: files extracted from a downloaded zip carry the
// "downloaded from the internet" stream and CopyFile copies it, which keeps
// .NET from loading the installed libraries and makes the shell warn before
// it starts a copied program. None is no error.
void RemoveInternetMark(IFileSystem& fs, const std::string& path);
// What is at path, by a listing of it (so also what cannot be opened).
int FileExists(IFileSystem& fs, const std::string& path);
// The attributes of path; a listing tells when they cannot be read, since
// unreadable attributes are no proof that nothing is there.
std::uint32_t AttributesOrListing(IFileSystem& fs, const std::string& path);

// Deletes one file; one in use is left to the next restart. Nothing there,
// or a folder (no file of ours), is done.
FileOutcome DeleteOrSchedule(IFileSystem& fs, const std::string& path);
// Puts backup's content back at path and deletes backup. A path in use gets
// a copy beside it that takes its place at the restart: the restart can
// only rename within a volume, and the backup may be on another drive.
// place: where path is.
FileOutcome RestoreBackup(IFileSystem& fs, const std::string& backup, const std::string& path,
                          FilePlace place);

// Whether an AutoCAD process ("acad.exe" in its name) runs.
bool IsAcadRunning(IProcessList& processes, const CodePage& codePage);
// The package's Data folder, beside the running program.
std::string DataFolderOf(IFileSystem& fs, const CodePage& codePage);

}  // namespace tx
