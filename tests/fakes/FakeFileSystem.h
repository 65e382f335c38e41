// An in-memory file system with the Windows behaviour the installer meets:
// drive-letter paths with backslashes, names compared without case under the
// code page, attribute bits per entry, "." and ".." in listings, listings in
// the order entries were added, CopyFile failing over a read-only or hidden
// target, alternate data streams ("file:name" addresses a stream of the
// file, as on NTFS), failures injected per path, and what a power cut
// leaves: written data sits in the system cache until flushed, while NTFS
// journals metadata (creations, renames, deletions, attributes), so those
// are on disk at once. Names reach files as the Win32 path rules and NTFS
// let them: the trailing dots and spaces of the last name are dropped ("x."
// reaches "x"; a path starting "\\?\" is taken as it is, so such a name can
// be made), and a name that is no valid 8.3 name gets a short one as well
// ("InstallRecord.txt" is also "INSTAL~1.TXT"). Every file and folder has
// an id that all its names share.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/CodePage.h"

namespace tx {

// kAttrReparsePoint (platform/FileSystem.h): give it to a folder or file to
// make it a junction or symbolic link, opened as itself where the code asks
// for that.

class FakeFileSystem : public IFileSystem {
public:
    struct CopyCall {
        std::string source;
        std::string target;
        bool ok;
        bool fromHeld = false;  // CopyFromHeld: source is the held file's path
    };

    explicit FakeFileSystem(unsigned codePage = 936);

    // --- Setting the scene. Missing parent folders are created. ---------
    void AddFolder(const std::string& path, std::uint32_t attributes = kAttrDirectory);
    // "file:name" adds (or rewrites) a stream of the file, creating an empty
    // file first when there is none; attributes then do not apply.
    void AddFile(const std::string& path, const std::string& content = "",
                 std::uint32_t attributes = kAttrArchive);
    void SetModulePath(std::string path) { modulePath_ = std::move(path); }
    // The bytes of the program's file as the handle held on it since the
    // start reads them, whatever has been put at the module path since;
    // unset, the program holds nothing and its file is read by name.
    void SetHeldImage(std::string content) { heldImage_ = std::move(content); }
    // The file has `names` names (hard links, the others elsewhere; 1 unless
    // set): a write through any of them would change them all. A link of
    // another kind is a file added with kAttrReparsePoint, its content
    // standing for what the link leads to.
    void SetLinkCount(const std::string& path, int names);
    void SetCurrentDirectory(std::string path) { currentDirectory_ = std::move(path); }
    void SetEnv(const std::string& name, const std::string& value);
    void UnsetEnv(const std::string& name);
    // What the shell reports as the roaming application-data folder;
    // nullopt makes the shell query fail.
    void SetRoamingAppData(std::optional<std::string> folder) { roaming_ = std::move(folder); }

    // A copy or a whole-file write onto target fails `times` times, then
    // succeeds (-1: always), with ERROR_ACCESS_DENIED.
    void FailCopyTo(const std::string& target, int times = -1);
    // CreateDirectory of this path fails with ERROR_ACCESS_DENIED.
    void FailCreateDirectory(const std::string& path);
    // SetAttributes on this path fails (a file on read-only media:
    // ERROR_WRITE_PROTECT).
    void FailSetAttributes(const std::string& path);
    // FindFirst on any pattern inside this folder finds nothing.
    void FailListing(const std::string& folder);
    // Folders without "." and ".." in their listing (as on a FAT drive root).
    void OmitDots(const std::string& folder);
    // A file some process holds open without sharing: it cannot be deleted,
    // written or copied over (ERROR_SHARING_VIOLATION).
    void SetInUse(const std::string& path, bool inUse = true);
    // A folder some handle holds open without FILE_SHARE_DELETE: it cannot be
    // removed or renamed until the last such hold goes
    // (ERROR_SHARING_VIOLATION). Counted: several holders may hold it.
    void HoldFolderOpen(const std::string& path, bool hold);
    // Nothing can be scheduled for the next restart (no administrator
    // rights: ERROR_ACCESS_DENIED).
    void FailRestartMoves(bool fail = true) { failRestartMoves_ = fail; }
    // Appends to this file fail after `okAppends` more have succeeded (the
    // disk is full: ERROR_DISK_FULL).
    void FailAppendsAfter(const std::string& path, int okAppends);
    // FlushFile on this path fails (ERROR_WRITE_FAULT).
    void FailFlush(const std::string& path);
    // ReplaceFile onto this path fails (ERROR_ACCESS_DENIED).
    void FailReplace(const std::string& to);

    // --- Looking at the result. ------------------------------------------
    // Exists and Content take "file:name" for a stream too.
    bool Exists(const std::string& path) const;
    bool IsFolder(const std::string& path) const;
    std::string Content(const std::string& path) const;  // "" when missing
    // The names of a file's alternate streams as stored, sorted without case.
    std::vector<std::string> StreamNames(const std::string& path) const;
    // Name as stored (its letter case) of the last component, "" when missing.
    std::string StoredName(const std::string& path) const;
    // The short name NTFS gave it, "" when missing or none was needed.
    std::string ShortName(const std::string& path) const;
    std::uint32_t Attributes(const std::string& path) const;
    // Names in listing order, without "." and "..".
    std::vector<std::string> Children(const std::string& folder) const;

    const std::vector<CopyCall>& CopyCalls() const { return copies_; }
    // WriteWholeFile calls, in order: the target (source empty) and whether it was written.
    const std::vector<CopyCall>& WriteCalls() const { return writes_; }
    const std::vector<std::string>& CreateDirectoryCalls() const { return mkdirs_; }
    const std::vector<std::string>& FindFirstCalls() const { return finds_; }
    const std::vector<std::string>& DeleteFileCalls() const { return deletes_; }
    const std::vector<std::pair<std::string, std::uint32_t>>& SetAttributeCalls() const {
        return setAttrs_;
    }
    // MoveFileAtRestart calls that succeeded, in order: {from, to}.
    const std::vector<std::pair<std::string, std::string>>& PendingAtRestart() const {
        return pending_;
    }
    // Carries out the pending operations as the system does at a restart.
    // An orderly shutdown writes the cache out first.
    void Restart();
    // The power goes: every file and stream holds what is on disk, the data
    // written since its last flush lost. Pending restart operations stay,
    // for the Restart that follows.
    void PowerCut();
    // Every path below folder (folder included), in key order, for comparisons.
    std::vector<std::string> Tree(const std::string& folder) const;
    int EnvironmentQueries() const { return envQueries_; }
    int ShellQueries() const { return shellQueries_; }
    int OpenListings() const { return *openListings_; }
    // Files held by HoldForReading now.
    int HeldFiles() const;

    // --- IFileSystem: failures carry the code Windows gives. ---------------
    [[nodiscard]] std::string ModulePath() override { return modulePath_; }
    [[nodiscard]] std::unique_ptr<IFindHandle> FindFirst(const std::string& pattern,
                                                         FindEntry* first) override;
    [[nodiscard]] std::uint32_t GetAttributes(const std::string& path) override;
    OsResult SetAttributes(const std::string& path, std::uint32_t attributes) override;
    OsResult CopyFile(const std::string& source, const std::string& target) override;
    OsResult CreateDirectory(const std::string& path) override;
    [[nodiscard]] std::uint32_t GetEnvironmentVariable(const char* name, char* buffer,
                                                       std::uint32_t capacity) override;
    [[nodiscard]] std::string CurrentDirectory() override { return currentDirectory_; }
    OsResult RoamingAppDataFolder(std::string* folder) override;
    OsResult DeleteFile(const std::string& path) override;
    OsResult RemoveDirectory(const std::string& path) override;
    OsResult ReadWholeFile(const std::string& path, std::string* content) override;
    OsResult WriteWholeFile(const std::string& path, const std::string& content) override;
    OsResult ReadProgramImage(std::string* content) override;
    OsResult AppendToFile(const std::string& path, const std::string& text) override;
    OsResult MoveFileAtRestart(const std::string& from, const std::string& to) override;
    OsResult RestartOperationPaths(std::vector<std::string>* paths) override;
    OsResult FileSize(const std::string& path, std::uint64_t* size) override;
    OsResult FlushFile(const std::string& path) override;
    OsResult ReplaceFile(const std::string& from, const std::string& to) override;
    OsResult FileIdentity(const std::string& path, FileId* id) override;
    // The held file is the file as opened: when the test later makes its
    // name hold something else (AddFile, standing for the name coming to
    // mean another file), the holder still reads what it opened. While it
    // is held, nothing can write, delete or rename it (ERROR_SHARING_VIOLATION).
    OsResult HoldForReading(const std::string& path, std::unique_ptr<IHeldFile>* file) override;
    OsResult CopyFromHeld(IHeldFile& source, const std::string& target) override;

private:
    // content is what a reader sees; durable, what a power cut leaves.
    struct Stream {
        std::string name;  // letter case as created
        std::string content;
        std::string durable;
    };
    struct Node {
        std::string path;  // normalised, letter case as created
        std::uint32_t attributes;
        std::string content;
        long order;
        std::map<std::string, Stream> streams;  // by lower-cased name
        std::string durable;
        std::uint64_t id = 0;
        std::string shortName;  // empty when the name is a valid 8.3 name
    };

    // Splits "file:name" (or "file:name:$DATA") into the file's path and the
    // stream's name; name is empty for a plain path or "file::$DATA". False
    // for a stream part that names nothing ("file:", another stream type).
    bool SplitStream(const std::string& path, std::string* file, std::string* stream) const;
    const Stream* FindStream(const std::string& path) const;

    // The path as the Win32 path rules read it.
    std::string Normalise(const std::string& path) const;
    // A normalised path with every short name replaced by its entry's name.
    std::string Resolve(const std::string& normalised) const;
    std::string Key(const std::string& path) const { return cp_.Lower(Resolve(Normalise(path))); }
    // The short name a new entry of that name in folder gets; "" for none.
    std::string MakeShortName(const std::string& folder, const std::string& name) const;
    std::string ParentOf(const std::string& normalised) const;
    std::string NameOf(const std::string& normalised) const;
    bool IsRoot(const std::string& normalised) const;
    // Why path names nothing: ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND
    // when its folder is missing too.
    std::uint32_t MissingCode(const std::string& path) const;
    // Why no file can be created or opened for writing at normalised, with
    // an existing one refused when it has a blocking attribute; 0 when it
    // can be.
    std::uint32_t WriteRefusal(const std::string& normalised, std::uint32_t blocking) const;
    // Uses up one failure injected for target; true when it fails now.
    bool InjectedCopyFailure(const std::string& target);
    // Whether a file is opened as itself and is a link or has another name.
    bool Linked(const std::string& key) const;
    // The entries of a folder in listing order.
    std::vector<const Node*> ChildNodes(const std::string& folder) const;
    const Node* Find(const std::string& path) const;
    Node* Find(const std::string& path);
    void Insert(const std::string& normalised, std::uint32_t attributes, std::string content);
    bool WildcardMatch(const std::string& pattern, const std::string& name) const;
    // Whether a HoldForReading holds the file: no one may write, delete or
    // rename it.
    bool HeldForReading(const std::string& key) const { return readHolds_->count(key) != 0; }

    CodePage cp_;
    std::map<std::string, Node> nodes_;  // by lower-cased normalised path
    long nextOrder_ = 0;
    std::uint64_t nextId_ = 1;
    std::string modulePath_ = "C:\\Pkg\\SetUp.exe";
    std::optional<std::string> heldImage_;
    std::map<std::string, int> linkCounts_;  // by Key; 1 when not there
    std::string currentDirectory_ = "C:\\";
    std::map<std::string, std::string> env_;  // by lower-cased name
    std::optional<std::string> roaming_;
    std::map<std::string, int> copyFailures_;
    std::vector<std::string> mkdirFailures_;
    std::vector<std::string> setAttrFailures_;
    std::vector<std::string> listingFailures_;
    std::vector<std::string> noDots_;
    std::vector<std::string> inUse_;
    std::map<std::string, int> heldFolders_;  // by Key
    std::map<std::string, int> appendBudget_;
    std::vector<std::string> flushFailures_;
    std::vector<std::string> replaceFailures_;
    bool failRestartMoves_ = false;
    std::vector<std::pair<std::string, std::string>> pending_;

    std::vector<CopyCall> copies_;
    std::vector<CopyCall> writes_;
    std::vector<std::string> mkdirs_;
    std::vector<std::string> finds_;
    std::vector<std::string> deletes_;
    std::vector<std::pair<std::string, std::uint32_t>> setAttrs_;
    int envQueries_ = 0;
    int shellQueries_ = 0;
    std::shared_ptr<int> openListings_ = std::make_shared<int>(0);
    // Holds by Key, counted; shared with the held files, which may outlive
    // a call.
    std::shared_ptr<std::map<std::string, int>> readHolds_ =
        std::make_shared<std::map<std::string, int>>();
};

}  // namespace tx
