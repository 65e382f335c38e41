// File-system access as the installer needs it, over ANSI paths in the
// process's code page. Shaped after the Win32 calls so the core's buffer
// rules stay visible, and fakeable in tests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/HeldFile.h"
#include "platform/OsResult.h"

// <windows.h> maps these names to their A/W forms; here they name methods of
// IFileSystem. Win32 code calls the A forms by name.
#ifdef CopyFile
#undef CopyFile
#endif
#ifdef CreateDirectory
#undef CreateDirectory
#endif
#ifdef DeleteFile
#undef DeleteFile
#endif
#ifdef GetEnvironmentVariable
#undef GetEnvironmentVariable
#endif
#ifdef DeleteFile
#undef DeleteFile
#endif
#ifdef RemoveDirectory
#undef RemoveDirectory
#endif
#ifdef ReplaceFile
#undef ReplaceFile
#endif

namespace tx {

constexpr std::uint32_t kAttrReadOnly = 0x1;    // FILE_ATTRIBUTE_READONLY
constexpr std::uint32_t kAttrHidden = 0x2;      // FILE_ATTRIBUTE_HIDDEN
constexpr std::uint32_t kAttrSystem = 0x4;      // FILE_ATTRIBUTE_SYSTEM
constexpr std::uint32_t kAttrDirectory = 0x10;  // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t kAttrArchive = 0x20;    // FILE_ATTRIBUTE_ARCHIVE
constexpr std::uint32_t kAttrNormal = 0x80;     // FILE_ATTRIBUTE_NORMAL
constexpr std::uint32_t kAttrReparsePoint = 0x400;  // FILE_ATTRIBUTE_REPARSE_POINT
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

constexpr std::size_t kMaxPath = 260;  // MAX_PATH, terminator included

// What one file or folder is on its volume, whichever name reaches it
// (FILE_ID_INFO: the volume's serial number and the 128-bit file id): a
// short name, another letter case, a name Windows trims ("x." for "x") and
// a hard link all give the same.
struct FileId {
    std::uint64_t volume = 0;
    std::array<std::uint8_t, 16> id{};

    bool operator==(const FileId& o) const { return volume == o.volume && id == o.id; }
    bool operator!=(const FileId& o) const { return !(*this == o); }
};

struct FindEntry {
    std::string name;  // cFileName: the name only, no folder
    std::uint32_t attributes = 0;
};

// An open listing (FindFirstFileA's handle); closed when destroyed.
class IFindHandle {
public:
    virtual ~IFindHandle() = default;
    // FindNextFileA: false when there is no further entry or the fetch fails.
    [[nodiscard]] virtual bool Next(FindEntry* entry) = 0;
};

// Every call that changes or reads a file returns an OsResult with the
// system's code when it fails.
class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    // GetModuleFileNameA(NULL, buf, 261): the running program's full path.
    [[nodiscard]] virtual std::string ModulePath() = 0;
    // FindFirstFileA: null when nothing matches (INVALID_HANDLE_VALUE);
    // otherwise the listing, and *first holds its first entry.
    [[nodiscard]] virtual std::unique_ptr<IFindHandle> FindFirst(const std::string& pattern,
                                                                 FindEntry* first) = 0;
    // GetFileAttributesA: kInvalidAttributes when they cannot be read.
    [[nodiscard]] virtual std::uint32_t GetAttributes(const std::string& path) = 0;
    // SetFileAttributesA.
    virtual OsResult SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
    // CopyFileA(src, dst, FALSE): overwrites; fails over a read-only or
    // hidden target. Alternate data streams travel with the file.
    virtual OsResult CopyFile(const std::string& source, const std::string& target) = 0;
    // CreateDirectoryA(path, NULL): one level.
    virtual OsResult CreateDirectory(const std::string& path) = 0;
    // GetEnvironmentVariableA(name, buf, capacity): the value's length without
    // the terminator when it fits, the size needed (terminator included) when
    // it does not, 0 when unset.
    [[nodiscard]] virtual std::uint32_t GetEnvironmentVariable(const char* name, char* buffer,
                                                               std::uint32_t capacity) = 0;
    // GetCurrentDirectoryA.
    [[nodiscard]] virtual std::string CurrentDirectory() = 0;
    // The shell's idea of the user's roaming application-data folder
    // (CSIDL_APPDATA); fails when the shell cannot tell.
    virtual OsResult RoamingAppDataFolder(std::string* folder) = 0;
    // DeleteFileA (also removes a named stream "file:stream"): fails on a
    // missing, read-only or open file, and on a folder.
    virtual OsResult DeleteFile(const std::string& path) = 0;
    // RemoveDirectoryA: only an empty folder.
    virtual OsResult RemoveDirectory(const std::string& path) = 0;
    // The whole content of a file; fails when it cannot be opened or read.
    // The file is opened as itself, never what a link points to: a reparse
    // point (a symbolic link, a junction) or a file with another name (a
    // hard link) is refused with kErrorCantAccessFile, nothing read.
    virtual OsResult ReadWholeFile(const std::string& path, std::string* content) = 0;
    // Creates or truncates the file, writes content and flushes it to disk,
    // through one handle shared with no one. Refuses, as ReadWholeFile does
    // and before anything is truncated, a reparse point or a file with
    // another name: a write through either would change some other file.
    // Fails over a read-only file and a folder; keeps an existing file's
    // other attributes.
    virtual OsResult WriteWholeFile(const std::string& path, const std::string& content) = 0;
    // The running program's own bytes, read through the handle held on its
    // file since the start (so what a later rename put at its name is not
    // read); without a held handle, the file at ModulePath as it is now.
    virtual OsResult ReadProgramImage(std::string* content) = 0;
    // Appends text at the end of the file (creating it) and flushes it, so
    // what was appended survives the program stopping right after.
    virtual OsResult AppendToFile(const std::string& path, const std::string& text) = 0;
    // MoveFileExA(from, to, MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING):
    // done by the system at the next restart; an empty `to` deletes `from`
    // (an empty folder included). Needs administrator rights.
    virtual OsResult MoveFileAtRestart(const std::string& from, const std::string& to) = 0;
    // The size in bytes of a file; fails when it cannot be read.
    virtual OsResult FileSize(const std::string& path, std::uint64_t* size) = 0;
    // FlushFileBuffers on the file, opened for writing and shared with
    // everyone: what was written to it survives a power cut. Fails when it
    // cannot be opened or flushed.
    virtual OsResult FlushFile(const std::string& path) = 0;
    // MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH):
    // `to` is replaced by `from` in one step on the same volume. Windows
    // documents WRITE_THROUGH only for a move done as a copy; a rename is a
    // metadata change NTFS journals, on disk by the next flush at the
    // latest. When it fails, `to` is as it was.
    virtual OsResult ReplaceFile(const std::string& from, const std::string& to) = 0;
    // CreateFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
    // FILE_FLAG_OPEN_REPARSE_POINT): the file itself, never what a link
    // names; fails on a folder and on a file others hold for writing.
    virtual OsResult HoldForReading(const std::string& path, std::unique_ptr<IHeldFile>* file) = 0;
    // Writes target afresh (CREATE_ALWAYS, no flush, as CopyFile does) with
    // source's bytes, read through its handle from the start, and its last
    // write time; the attributes and streams of source do not travel.
    // Fails as CopyFile would over a read-only or hidden target.
    virtual OsResult CopyFromHeld(IHeldFile& source, const std::string& target) = 0;
    // Every path the system will rename or delete at the next restart (the
    // sources and targets MoveFileEx queued with DELAY_UNTIL_REBOOT), in the
    // code page, without the "\\??\\" prefix. None queued is no failure.
    virtual OsResult RestartOperationPaths(std::vector<std::string>* paths) = 0;
    // The identity of what path reaches, a file or a folder, a link
    // followed as a copy onto path would follow it. Fails when nothing is
    // there, or the volume gives its files no ids.
    virtual OsResult FileIdentity(const std::string& path, FileId* id) = 0;
};

}  // namespace tx
