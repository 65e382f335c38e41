// A key below HKEY_LOCAL_MACHINE that the installation made: removed again
// while nothing else lives in it.
#pragma once

#include "engine/Action.h"

namespace tx {

class MachineKeyMade final : public Action {
public:
    static constexpr const char* kKind = "machine-key";
    explicit MachineKeyMade(std::string path) : path_(std::move(path)) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Path() const { return path_; }
    std::vector<std::string> Fields() const override { return {kKind, path_}; }
    ActionResult Apply(ActionContext& ctx) override;
    ActionResult Undo(ActionContext& ctx) override;

private:
    std::string path_;
};

}  // namespace tx
