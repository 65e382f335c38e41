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
    return BackUpFile(ctx.fs, path_, backup_, PlaceOf(ctx, path_));
}

ActionResult UninstallerCopy::Apply(ActionContext& ctx) {
    // Not copied by name: whoever may rename the program's file could have
    // put another program at that name since this one started.
    std::string image;
    OsResult done = ctx.fs.ReadProgramImage(&image);
    if (done) {
        ClearForOverwrite(ctx.fs, path_);
        done = ctx.fs.WriteWholeFile(path_, image);
    }
    if (!done) return ActionResult::FromOs(done);
    RemoveInternetMark(ctx.fs, path_);
    return ActionResult::Ok();
}

ActionResult UninstallerCopy::Undo(ActionContext& ctx) { return UndoFileWrite(ctx, path_, backup_); }

}  // namespace tx
