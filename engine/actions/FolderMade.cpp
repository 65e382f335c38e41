#include "engine/actions/FolderMade.h"

namespace tx {

std::unique_ptr<Action> FolderMade::Parse(const std::vector<std::string>& f) {
    if (f.size() != 2) return nullptr;
    return std::make_unique<FolderMade>(f[1], true);
}

ActionResult FolderMade::Apply(ActionContext& ctx) {
    if (alreadyMade_) return ActionResult::Ok();
    return ActionResult::FromOs(ctx.fs.CreateDirectory(path_));
}

ActionResult FolderMade::Undo(ActionContext& ctx) {
    const std::uint32_t attributes = ctx.fs.GetAttributes(path_);
    if (attributes == kInvalidAttributes || (attributes & kAttrDirectory) == 0)
        return ActionResult::Ok();
    if (ctx.fs.RemoveDirectory(path_)) return ActionResult::Ok();
    return ActionResult::Left();
}

}  // namespace tx
