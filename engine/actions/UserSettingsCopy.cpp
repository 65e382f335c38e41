#include "engine/actions/UserSettingsCopy.h"

namespace tx {

ActionResult UserSettingsCopy::Prepare(ActionContext&) {
    saved_ = settings_.Save();
    return ActionResult::Ok();
}

ActionResult UserSettingsCopy::Undo(ActionContext&) {
    return ActionResult::FromOs(settings_.Restore(saved_));
}

ActionResult UserSettingsCopy::Apply(ActionContext&) {
    return ActionResult::FromOs(settings_.CopyFromPackage(source_));
}

}  // namespace tx
