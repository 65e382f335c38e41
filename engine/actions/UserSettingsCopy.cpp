#include "engine/actions/UserSettingsCopy.h"

namespace tx {

ActionResult UserSettingsCopy::Prepare(ActionContext&) {
    saved_ = settings_.Save();
    return ActionResult::Ok();
}

ActionResult UserSettingsCopy::Undo(ActionContext& ctx) {
    if (settings_.Restore(saved_)) return ActionResult::Ok();
    return ActionResult::Fail(ctx.fs.LastError());
}

ActionResult UserSettingsCopy::Apply(ActionContext&) {
    std::uint32_t error = 0;
    if (settings_.CopyFromPackage(source_, &error)) return ActionResult::Ok();
    return ActionResult::Fail(error);
}

}  // namespace tx
