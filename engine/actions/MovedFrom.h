// The installation was moved here from another folder: the journal carries
// the old folder's lines after this one's, and this line. Undone, it
// deletes the old folder's journal, which the old folder's own lines need
// gone before the folder itself can go.
#pragma once

#include "engine/Action.h"

namespace tx {

class MovedFrom final : public Action {
public:
    static constexpr const char* kKind = "moved-from";
    explicit MovedFrom(std::string folder) : folder_(std::move(folder)) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Folder() const { return folder_; }
    std::vector<std::string> Fields() const override { return {kKind, folder_}; }
    // Written with the lines it carries, before anything changes.
    ActionResult Apply(ActionContext&) override { return ActionResult::Ok(); }
    ActionResult Undo(ActionContext& ctx) override;

private:
    std::string folder_;
};

// The folders the installation's entries and keys may name: its own, and
// those the journal being undone says it moved from.
std::vector<std::string> OwnFolders(const ActionContext& ctx);

}  // namespace tx
