#include "engine/actions/UserSettingsCopy.h"

namespace tx {

ActionResult UserSettingsCopy::Apply(ActionContext&) {
    std::uint32_t error = 0;
    if (settings_.CopyFromPackage(source_, &error)) return ActionResult::Ok();
    return ActionResult::Fail(error);
}

}  // namespace tx
