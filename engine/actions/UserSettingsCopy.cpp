#include "engine/actions/UserSettingsCopy.h"

#include "engine/HeldPayload.h"

namespace tx {

ActionResult UserSettingsCopy::Prepare(ActionContext&) {
    saved_ = settings_.Save();
    return ActionResult::Ok();
}

ActionResult UserSettingsCopy::Undo(ActionContext&) {
    return ActionResult::FromOs(settings_.Restore(saved_));
}

ActionResult UserSettingsCopy::Apply(ActionContext& ctx) {
    IHeldFile* held = nullptr;
    if (ctx.payload != nullptr) {
        const OsResult checked = ctx.payload->Source(source_, ctx.cp, &held);
        if (!checked) return ActionResult::FromOs(checked);
    }
    return ActionResult::FromOs(settings_.CopyFromPackage(source_, held));
}

}  // namespace tx
