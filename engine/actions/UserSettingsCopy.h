// The package's settings file over the installing user's own. Not
// journaled: the settings file stays with the user after an uninstall, as
// AutoCAD's own settings do. A run that is undone puts back what it saw.
#pragma once

#include "deploy/UserSettings.h"
#include "engine/Action.h"

namespace tx {

class UserSettingsCopy final : public Action {
public:
    UserSettingsCopy(UserSettings& settings, std::string source, std::string shownTarget)
        : settings_(settings), source_(std::move(source)), shownTarget_(std::move(shownTarget)) {}

    std::vector<std::string> Fields() const override { return {}; }
    std::string Describe() const override { return "user-settings " + shownTarget_; }
    ActionResult Prepare(ActionContext& ctx) override;
    ActionResult Apply(ActionContext& ctx) override;
    ActionResult Undo(ActionContext& ctx) override;
    ActionRole Role() const override { return ActionRole::Payload; }
    std::string WrittenFile() const override { return shownTarget_; }

private:
    UserSettings& settings_;
    std::string source_;
    std::string shownTarget_;
    UserSettings::Saved saved_;
};

}  // namespace tx
