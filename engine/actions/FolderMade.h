// A folder the installation made: removed again when it is empty.
#pragma once

#include "engine/Action.h"

namespace tx {

class FolderMade final : public Action {
public:
    static constexpr const char* kKind = "folder";
    // alreadyMade: made before the journal could exist (the levels of the
    // installation folder itself); applying it then changes nothing.
    explicit FolderMade(std::string path, bool alreadyMade = false)
        : path_(std::move(path)), alreadyMade_(alreadyMade) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Path() const { return path_; }
    std::vector<std::string> Fields() const override { return {kKind, path_}; }
    ActionResult Apply(ActionContext& ctx) override;
    // Left when something else lives in it now.
    ActionResult Undo(ActionContext& ctx) override;
    bool AlreadyMade() const { return alreadyMade_; }

private:
    std::string path_;
    bool alreadyMade_;
};

}  // namespace tx
