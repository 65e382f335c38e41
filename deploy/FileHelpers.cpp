#include "deploy/FileHelpers.h"

#include <vector>

namespace tx {

namespace {
constexpr const char* kRestoreSuffix = ".tarnix-restore";

// CopyFile leaves the copy's data in the cache; FlushFileBuffers writes it
// out, through a handle with write access, which a read-only file refuses:
// the bit is off for the flush only.
bool FlushCopy(IFileSystem& fs, const std::string& path) {
    const std::uint32_t attributes = fs.GetAttributes(path);
    if (attributes == kInvalidAttributes) return false;
    const bool readOnly = (attributes & kAttrReadOnly) != 0;
    if (readOnly && !fs.SetAttributes(path, attributes & ~kAttrReadOnly)) return false;
    const bool flushed = fs.FlushFile(path);
    return (!readOnly || fs.SetAttributes(path, attributes)) && flushed;
}
}  // namespace

void ClearReadOnly(IFileSystem& fs, const std::string& path) {
    const std::uint32_t attributes = fs.GetAttributes(path);
    if (attributes == kInvalidAttributes || (attributes & kAttrReadOnly) == 0) return;
    // A file on read-only media stays as it is; the copy that needs it
    // writable then fails and says so.
    (void)fs.SetAttributes(path, attributes & ~kAttrReadOnly);
}

void ClearForOverwrite(IFileSystem& fs, const std::string& path) {
    constexpr std::uint32_t kBlocking = kAttrReadOnly | kAttrHidden | kAttrSystem;
    const std::uint32_t attributes = fs.GetAttributes(path);
    if (attributes == kInvalidAttributes || (attributes & kAttrDirectory) != 0 ||
        (attributes & kBlocking) == 0) {
        return;
    }
    const std::uint32_t cleared = attributes & ~kBlocking;
    (void)fs.SetAttributes(path, cleared == 0 ? kAttrNormal : cleared);
}

void RemoveInternetMark(IFileSystem& fs, const std::string& path) {
    (void)fs.DeleteFile(path + ":Zone.Identifier");
}

int FileExists(IFileSystem& fs, const std::string& path) {
    FindEntry first;
    if (!fs.FindFirst(path, &first)) return kPathMissing;
    return (first.attributes & kAttrDirectory) != 0 ? kPathIsFolder : kPathIsFile;
}

std::uint32_t AttributesOrListing(IFileSystem& fs, const std::string& path) {
    std::uint32_t attributes = fs.GetAttributes(path);
    if (attributes == kInvalidAttributes) {
        FindEntry entry;
        if (fs.FindFirst(path, &entry)) attributes = entry.attributes;
    }
    return attributes;
}

FileOutcome DeleteOrSchedule(IFileSystem& fs, const std::string& path) {
    const std::uint32_t attributes = fs.GetAttributes(path);
    if (attributes == kInvalidAttributes) return FileOutcome::Done;
    if ((attributes & kAttrDirectory) != 0) return FileOutcome::Done;
    if ((attributes & kAttrReadOnly) != 0) (void)fs.SetAttributes(path, attributes & ~kAttrReadOnly);
    if (fs.DeleteFile(path)) return FileOutcome::Done;
    if (fs.MoveFileAtRestart(path, std::string())) return FileOutcome::AtRestart;
    return FileOutcome::Failed;
}

FileOutcome RestoreBackup(IFileSystem& fs, const std::string& backup, const std::string& path) {
    // No backup left: it was put back by an earlier run.
    if (fs.GetAttributes(backup) == kInvalidAttributes) return FileOutcome::Done;
    // Installed files keep the attributes of their source, hidden ones too.
    ClearForOverwrite(fs, path);
    // The backup goes only once what was put back is on disk: a power cut
    // in between would leave neither.
    if (fs.CopyFile(backup, path))
        return FlushCopy(fs, path) ? DeleteOrSchedule(fs, backup) : FileOutcome::Failed;
    const std::string staged = path + kRestoreSuffix;
    ClearForOverwrite(fs, staged);
    if (fs.CopyFile(backup, staged) && FlushCopy(fs, staged) && fs.MoveFileAtRestart(staged, path)) {
        (void)fs.MoveFileAtRestart(backup, std::string());
        return FileOutcome::AtRestart;
    }
    return FileOutcome::Failed;
}

bool IsAcadRunning(IProcessList& processes, const CodePage& cp) {
    const std::string wanted = cp.Lower("acad.exe");
    std::vector<std::string> names;
    if (!processes.ExecutableNames(&names)) return false;
    for (const std::string& name : names) {
        // Any name holding it counts, so "xacad.exe" does and "acadlt.exe" not.
        if (cp.Find(cp.Lower(name), wanted) != CodePage::npos) return true;
    }
    return false;
}

std::string DataFolderOf(IFileSystem& fs, const CodePage& cp) {
    const std::string program = fs.ModulePath();
    const std::size_t slash = cp.LastBackslash(program);
    const std::string folder = slash == CodePage::npos ? std::string() : program.substr(0, slash);
    return folder + "\\Data";
}

}  // namespace tx
