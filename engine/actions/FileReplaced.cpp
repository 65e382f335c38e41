#include "engine/actions/FileReplaced.h"

#include "deploy/FileHelpers.h"
#include "engine/actions/FileWrittenNew.h"

namespace tx {

FilePlace PlaceOf(const ActionContext& ctx, const std::string& path) {
    const std::string& folder = ctx.installFolder;
    const bool inside = !folder.empty() && path.size() > folder.size() + 1 &&
                        ctx.cp.EqualsNoCase(path.substr(0, folder.size() + 1), folder + "\\");
    return inside ? FilePlace::OwnFolder : FilePlace::Elsewhere;
}

ActionResult BackUpFile(IFileSystem& fs, const std::string& path, const std::string& backup,
                        FilePlace place) {
    // The backup takes the target's attributes with it, as they were. Read
    // from elsewhere, a link is not followed: its target's content would
    // land where users may read it, and be put back there at the uninstall.
    const OsResult copied = CopyTo(fs, path, backup, place);
    if (!copied) return ActionResult::FromOs(copied);
    // Flushing opens the file for writing, which a read-only file refuses:
    // the bit is off for the flush only.
    const std::uint32_t attributes = fs.GetAttributes(backup);
    const bool readOnly = attributes != kInvalidAttributes && (attributes & kAttrReadOnly) != 0;
    OsResult flushed =
        readOnly ? fs.SetAttributes(backup, attributes & ~kAttrReadOnly) : OsResult::Ok();
    if (flushed) flushed = fs.FlushFile(backup);
    if (flushed && readOnly) flushed = fs.SetAttributes(backup, attributes);
    if (flushed) return ActionResult::Ok();
    // No line names it: left behind, it would keep its folder after an undo
    // and block a retry.
    ClearReadOnly(fs, backup);
    // What is reported is why the backup failed; a backup that cannot be
    // deleted either adds nothing to that.
    (void)fs.DeleteFile(backup);
    return ActionResult::FromOs(flushed);
}

ActionResult UndoFileWrite(ActionContext& ctx, const std::string& path, const std::string& backup) {
    // The uninstaller cannot replace or delete itself; it goes after the run.
    if (!ctx.runningImage.empty() && ctx.cp.EqualsNoCase(path, ctx.runningImage))
        return ActionResult::Ok();
    const FileOutcome outcome =
        backup.empty() ? DeleteOrSchedule(ctx.fs, path)
                       : RestoreBackup(ctx.fs, backup, path, PlaceOf(ctx, path));
    switch (outcome.status) {
        case FileStatus::Done: return ActionResult::Ok();
        case FileStatus::AtRestart: return ActionResult::AtRestart();
        case FileStatus::Failed: break;
    }
    // Its folder went with the program it belonged to (an AutoCAD
    // uninstalled before the plug-in): nothing is left to put back into.
    if (!backup.empty() && outcome.error == kErrorPathNotFound) {
        ClearReadOnly(ctx.fs, backup);
        // One left over is swept with the backups no line names.
        (void)ctx.fs.DeleteFile(backup);
        return ActionResult::Ok();
    }
    return ActionResult::Fail(outcome.error);
}

std::unique_ptr<Action> FileReplaced::Parse(const std::vector<std::string>& f) {
    if (f.size() != 3) return nullptr;
    return std::make_unique<FileReplaced>(std::string(), f[1], f[2], ActionRole::Quiet);
}

ActionResult FileReplaced::Prepare(ActionContext& ctx) {
    return BackUpFile(ctx.fs, target_, backup_, PlaceOf(ctx, target_));
}

ActionResult FileReplaced::Apply(ActionContext& ctx) {
    return ActionResult::FromOs(
        CopyPackageFile(ctx, source_, target_, false, PlaceOf(ctx, target_)));
}

ActionResult FileReplaced::Undo(ActionContext& ctx) { return UndoFileWrite(ctx, target_, backup_); }

}  // namespace tx
