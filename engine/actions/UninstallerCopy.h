// The uninstaller: a copy of the running program in the installation
// folder, which the Programs and Features entry starts.
#pragma once

#include "engine/Action.h"

namespace tx {

class UninstallerCopy final : public Action {
public:
    static constexpr const char* kKind = "uninstaller";
    // backup: where an earlier installation's uninstaller is kept while
    // this run may still be undone; empty when there was none.
    UninstallerCopy(std::string path, std::string backup)
        : path_(std::move(path)), backup_(std::move(backup)) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Path() const { return path_; }
    const std::string& Backup() const { return backup_; }
    std::vector<std::string> Fields() const override;
    ActionResult Prepare(ActionContext& ctx) override;
    bool PreparesOnDisk() const override { return !backup_.empty(); }
    // Writes the running program's bytes, read through the handle held on
    // its file. An earlier uninstaller's attributes and download mark
    // (which would make the shell warn before every uninstall) are cleared.
    ActionResult Apply(ActionContext& ctx) override;
    ActionResult Undo(ActionContext& ctx) override;
    std::string WrittenFile() const override { return path_; }

private:
    std::string path_;
    std::string backup_;
};

}  // namespace tx
