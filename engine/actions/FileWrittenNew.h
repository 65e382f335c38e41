// A file written where there was none: deleted again.
#pragma once

#include "deploy/FileHelpers.h"
#include "engine/Action.h"

namespace tx {

class FileWrittenNew final : public Action {
public:
    static constexpr const char* kKind = "file-new";
    // inNewFolder: the target is in a folder this run made and holds, where
    // nothing else can have put a file since the plan. journaled false: an
    // earlier action of the same run already wrote this target and its line
    // covers this copy too.
    FileWrittenNew(std::string source, std::string target, ActionRole role, bool inNewFolder,
                   bool journaled = true)
        : source_(std::move(source)), target_(std::move(target)), role_(role),
          inNewFolder_(inNewFolder), journaled_(journaled) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Source() const { return source_; }
    const std::string& Target() const { return target_; }
    std::vector<std::string> Fields() const override;
    std::string Describe() const override {
        return std::string(kKind) + " " + target_ + (journaled_ ? "" : " (again)");
    }
    ActionResult Apply(ActionContext& ctx) override;
    ActionResult Undo(ActionContext& ctx) override;
    ActionRole Role() const override { return role_; }
    std::string WrittenFile() const override { return target_; }
    bool LeftAlone() const override { return refused_ && !tried_; }

private:
    std::string source_;  // empty when read back from a journal
    std::string target_;
    ActionRole role_;
    bool inNewFolder_;
    bool journaled_;
    bool tried_ = false;    // a copy was attempted
    bool refused_ = false;  // something was at the target
};

// The copy every file action makes: the package's file onto target, which
// ends writable and without the download mark; the copy's own result.
// targetFree: nothing is at target, so there are no attributes of its own
// to clear. A checked package's file is copied from its held handle.
// place: where target is; elsewhere a link there is refused.
OsResult CopyPackageFile(ActionContext& ctx, const std::string& source, const std::string& target,
                         bool targetFree, FilePlace place);

}  // namespace tx
