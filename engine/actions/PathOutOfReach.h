// A copy that is never made, and fails as a copy would: its source or
// target does not fit a MAX_PATH buffer (a cut path would name another
// file), or its target is a file the installation keeps for itself.
#pragma once

#include "engine/Action.h"

namespace tx {

class PathOutOfReach final : public Action {
public:
    PathOutOfReach(std::string target, ActionRole role,
                   std::uint32_t error = kErrorFilenameTooLong)
        : target_(std::move(target)), role_(role), error_(error) {}

    std::vector<std::string> Fields() const override { return {}; }
    std::string Describe() const override { return "refused " + target_; }
    ActionResult Apply(ActionContext&) override { return ActionResult::Fail(error_); }
    ActionResult Undo(ActionContext&) override { return ActionResult::Ok(); }
    ActionRole Role() const override { return role_; }
    std::string WrittenFile() const override { return target_; }

    static constexpr std::uint32_t kErrorFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE
    static constexpr std::uint32_t kErrorAccessDenied = 5;

private:
    std::string target_;
    ActionRole role_;
    std::uint32_t error_;
};

}  // namespace tx
