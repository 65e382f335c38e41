#include "deploy/FileHelpers.h"

#include <vector>

namespace tx {

namespace {
constexpr std::uint32_t kErrorFileNotFound = 2;

// CopyFile leaves the copy's data in the cache; FlushFileBuffers writes it
// out, through a handle with write access, which a read-only file refuses:
// the bit is off for the flush only.
OsResult FlushCopy(IFileSystem& fs, const std::string& path) {
    const std::uint32_t attributes = fs.GetAttributes(path);
    if (attributes == kInvalidAttributes) return OsResult::Fail(kErrorFileNotFound);
    const bool readOnly = (attributes & kAttrReadOnly) != 0;
    if (readOnly) {
        const OsResult writable = fs.SetAttributes(path, attributes & ~kAttrReadOnly);
        if (!writable) return writable;
    }
    const OsResult flushed = fs.FlushFile(path);
    if (!readOnly) return flushed;
    const OsResult back = fs.SetAttributes(path, attributes);
    return flushed ? back : flushed;
}
}  // namespace

OsResult CopyTo(IFileSystem& fs, const std::string& source, const std::string& target,
                FilePlace place) {
    if (place == FilePlace::OwnFolder) return fs.CopyFile(source, target);
    std::string content;
    OsResult done = fs.ReadWholeFile(source, &content);
    if (done) done = fs.WriteWholeFile(target, content);
    if (!done) return done;
    const std::uint32_t attributes = fs.GetAttributes(source);
    // As CopyFile would have left them; the content is there either way.
    if (attributes != kInvalidAttributes) (void)fs.SetAttributes(target, attributes);
    return OsResult::Ok();
}

OsResult CopyHeldTo(IFileSystem& fs, IHeldFile& source, const std::string& target,
                    FilePlace place) {
    if (place == FilePlace::OwnFolder) return fs.CopyFromHeld(source, target);
    HeldFileFacts facts;
    OsResult done = source.Facts(&facts);
    if (!done) return done;
    std::string content;
    char buffer[1 << 16];
    for (;;) {
        std::size_t got = 0;
        done = source.Read(content.size(), buffer, sizeof buffer, &got);
        if (!done) return done;
        if (got == 0) break;
        content.append(buffer, got);
    }
    // Cut short or grown meanwhile: not the file that was checked.
    if (content.size() != facts.size) return OsResult::Fail(kErrorWriteFault);
    return fs.WriteWholeFile(target, content);
}

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
    // Bits that stay set make the copy fail, which says so.
    (void)fs.SetAttributes(path, cleared == 0 ? kAttrNormal : cleared);
}

void RemoveInternetMark(IFileSystem& fs, const std::string& path) {
    // Most files carry no mark; one that cannot go only brings the warning.
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
    if (attributes == kInvalidAttributes) return {FileStatus::Done};
    if ((attributes & kAttrDirectory) != 0) return {FileStatus::Done};
    // A bit that stays set makes the delete fail, which says so.
    if ((attributes & kAttrReadOnly) != 0) (void)fs.SetAttributes(path, attributes & ~kAttrReadOnly);
    if (fs.DeleteFile(path)) return {FileStatus::Done};
    const OsResult scheduled = fs.MoveFileAtRestart(path, std::string());
    if (scheduled) return {FileStatus::AtRestart};
    return {FileStatus::Failed, scheduled.Code()};
}

FileOutcome RestoreBackup(IFileSystem& fs, const std::string& backup, const std::string& path,
                          FilePlace place) {
    // No backup left: it was put back by an earlier run.
    if (fs.GetAttributes(backup) == kInvalidAttributes) return {FileStatus::Done};
    // Installed files keep the attributes of their source, hidden ones too.
    ClearForOverwrite(fs, path);
    // The backup goes only once what was put back is on disk: a power cut
    // in between would leave neither.
    OsResult r = CopyTo(fs, backup, path, place);
    // A link where the file was is not written through, now or at the restart.
    if (r.Code() == kErrorCantAccessFile) return {FileStatus::Failed, r.Code()};
    const std::string staged = path + kRestoreSuffix;
    if (r) {
        r = FlushCopy(fs, path);
        if (!r) return {FileStatus::Failed, r.Code()};
        // An earlier run, which met the file in use, staged a copy for the
        // restart; put back now, it is not needed (the restart's rename of
        // a file that is gone is skipped).
        const FileOutcome stale = DeleteOrSchedule(fs, staged);
        const FileOutcome gone = DeleteOrSchedule(fs, backup);
        if (gone.status == FileStatus::Done && stale.status != FileStatus::Done) return stale;
        return gone;
    }
    ClearForOverwrite(fs, staged);
    r = CopyTo(fs, backup, staged, place);
    if (r) r = FlushCopy(fs, staged);
    if (r) r = fs.MoveFileAtRestart(staged, path);
    if (!r) return {FileStatus::Failed, r.Code()};
    // The content is safe in the staged copy: a backup that stays only
    // takes room.
    (void)fs.MoveFileAtRestart(backup, std::string());
    return {FileStatus::AtRestart};
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
