// The package's settings file over the installing user's own. Not
// journaled and never undone: the settings file stays with the user after
// an uninstall, as AutoCAD's own settings do.
#pragma once

#include "deploy/UserSettings.h"
#include "engine/Action.h"

namespace tx {

class UserSettingsCopy final : public Action {
public:
    UserSettingsCopy(UserSettings& settings, std::string source, std::string shownTarget)
        : settings_(settings), source_(std::move(source)), shownTarget_(std::move(shownTarget)) {}

    std::vector<std::string> Fields() const override { return {}; }
    ActionResult Apply(ActionContext& ctx) override;
    ActionResult Undo(ActionContext&) override { return ActionResult::Ok(); }
    ActionRole Role() const override { return ActionRole::Payload; }
    std::string WrittenFile() const override { return shownTarget_; }

private:
    UserSettings& settings_;
    std::string source_;
    std::string shownTarget_;
};

}  // namespace tx
