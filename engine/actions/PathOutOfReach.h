// A copy whose source or target does not fit a MAX_PATH buffer: it is never
// made (a cut path would name another file), and fails as a copy would.
#pragma once

#include "engine/Action.h"

namespace tx {

class PathOutOfReach final : public Action {
public:
    PathOutOfReach(std::string target, ActionRole role) : target_(std::move(target)), role_(role) {}

    std::vector<std::string> Fields() const override { return {}; }
    std::string Describe() const override { return "path-too-long " + target_; }
    ActionResult Apply(ActionContext&) override { return ActionResult::Fail(kErrorFilenameTooLong); }
    ActionResult Undo(ActionContext&) override { return ActionResult::Ok(); }
    ActionRole Role() const override { return role_; }
    std::string WrittenFile() const override { return target_; }

    static constexpr std::uint32_t kErrorFilenameTooLong = 206;  // ERROR_FILENAME_EXCED_RANGE

private:
    std::string target_;
    ActionRole role_;
};

}  // namespace tx
