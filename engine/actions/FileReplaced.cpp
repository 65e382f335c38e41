#include "engine/actions/FileReplaced.h"

#include "deploy/FileHelpers.h"
#include "engine/actions/FileWrittenNew.h"

namespace tx {

ActionResult BackUpFile(IFileSystem& fs, const std::string& path, const std::string& backup) {
    // The backup takes the target's attributes with it, as they were.
    if (!fs.CopyFile(path, backup)) return ActionResult::Fail(fs.LastError());
    // Flushing opens the file for writing, which a read-only file refuses:
    // the bit is off for the flush only.
    const std::uint32_t attributes = fs.GetAttributes(backup);
    const bool readOnly = attributes != kInvalidAttributes && (attributes & kAttrReadOnly) != 0;
    bool flushed = !readOnly || fs.SetAttributes(backup, attributes & ~kAttrReadOnly);
    flushed = flushed && fs.FlushFile(backup);
    if (flushed && readOnly) flushed = fs.SetAttributes(backup, attributes);
    if (flushed) return ActionResult::Ok();
    const ActionResult failed = ActionResult::Fail(fs.LastError());
    // No line names it: left behind, it would keep its folder after an undo
    // and block a retry.
    ClearReadOnly(fs, backup);
    (void)fs.DeleteFile(backup);
    return failed;
}

ActionResult UndoFileWrite(ActionContext& ctx, const std::string& path, const std::string& backup) {
    // The uninstaller cannot replace or delete itself; it goes after the run.
    if (!ctx.runningImage.empty() && ctx.cp.EqualsNoCase(path, ctx.runningImage))
        return ActionResult::Ok();
    const FileOutcome outcome =
        backup.empty() ? DeleteOrSchedule(ctx.fs, path) : RestoreBackup(ctx.fs, backup, path);
    switch (outcome) {
        case FileOutcome::Done: return ActionResult::Ok();
        case FileOutcome::AtRestart: return ActionResult::AtRestart();
        case FileOutcome::Failed: break;
    }
    return ActionResult::Fail(ctx.fs.LastError());
}

std::unique_ptr<Action> FileReplaced::Parse(const std::vector<std::string>& f) {
    if (f.size() != 3) return nullptr;
    return std::make_unique<FileReplaced>(std::string(), f[1], f[2], ActionRole::Quiet);
}

ActionResult FileReplaced::Prepare(ActionContext& ctx) {
    return BackUpFile(ctx.fs, target_, backup_);
}

ActionResult FileReplaced::Apply(ActionContext& ctx) {
    std::uint32_t error = 0;
    if (!CopyPackageFile(ctx.fs, source_, target_, false, &error)) return ActionResult::Fail(error);
    return ActionResult::Ok();
}

ActionResult FileReplaced::Undo(ActionContext& ctx) { return UndoFileWrite(ctx, target_, backup_); }

}  // namespace tx
