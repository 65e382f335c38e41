#include "engine/actions/UninstallerCopy.h"

#include "deploy/FileHelpers.h"
#include "engine/actions/FileReplaced.h"

namespace tx {

std::unique_ptr<Action> UninstallerCopy::Parse(const std::vector<std::string>& f) {
    if (f.size() == 2) return std::make_unique<UninstallerCopy>(f[1], std::string());
    if (f.size() == 3) return std::make_unique<UninstallerCopy>(f[1], f[2]);
    return nullptr;
}

std::vector<std::string> UninstallerCopy::Fields() const {
    if (backup_.empty()) return {kKind, path_};
    return {kKind, path_, backup_};
}

ActionResult UninstallerCopy::Prepare(ActionContext& ctx) {
    if (backup_.empty()) return ActionResult::Ok();
    return BackUpFile(ctx.fs, path_, backup_);
}

ActionResult UninstallerCopy::Apply(ActionContext& ctx) {
    ClearForOverwrite(ctx.fs, path_);
    const OsResult copied = ctx.fs.CopyFile(ctx.fs.ModulePath(), path_);
    if (!copied) return ActionResult::FromOs(copied);
    ClearReadOnly(ctx.fs, path_);
    RemoveInternetMark(ctx.fs, path_);
    return ActionResult::Ok();
}

ActionResult UninstallerCopy::Undo(ActionContext& ctx) { return UndoFileWrite(ctx, path_, backup_); }

}  // namespace tx
