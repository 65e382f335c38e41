// A file written where there was none: deleted again.
#pragma once

#include "engine/Action.h"

namespace tx {

class FileWrittenNew final : public Action {
public:
    static constexpr const char* kKind = "file-new";
    // journaled false: an earlier action of the same run already wrote this
    // target and its line covers this copy too.
    FileWrittenNew(std::string source, std::string target, ActionRole role, bool batchable,
                   bool journaled = true)
        : source_(std::move(source)), target_(std::move(target)), role_(role),
          batchable_(batchable), journaled_(journaled) {}
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
    bool Batchable() const override { return batchable_; }
    std::string WrittenFile() const override { return target_; }

private:
    std::string source_;  // empty when read back from a journal
    std::string target_;
    ActionRole role_;
    bool batchable_;
    bool journaled_;
    bool tried_ = false;
};

// The copy every file action makes: the package's file onto target, which
// ends writable and without the download mark. False, with the system's
// code in *error, when it fails.
bool CopyPackageFile(IFileSystem& fs, const std::string& source, const std::string& target,
                     std::uint32_t* error);

}  // namespace tx
