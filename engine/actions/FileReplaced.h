// A file overwritten, its old content kept in a backup: put back again.
#pragma once

#include "deploy/FileHelpers.h"
#include "engine/Action.h"

namespace tx {

class FileReplaced final : public Action {
public:
    static constexpr const char* kKind = "file-replaced";
    FileReplaced(std::string source, std::string target, std::string backup, ActionRole role)
        : source_(std::move(source)), target_(std::move(target)), backup_(std::move(backup)),
          role_(role) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Source() const { return source_; }
    const std::string& Target() const { return target_; }
    const std::string& Backup() const { return backup_; }
    std::vector<std::string> Fields() const override { return {kKind, target_, backup_}; }
    // The backup, flushed: the line that names it must never name an
    // empty file after a power cut.
    ActionResult Prepare(ActionContext& ctx) override;
    bool PreparesOnDisk() const override { return true; }
    ActionResult Apply(ActionContext& ctx) override;
    ActionResult Undo(ActionContext& ctx) override;
    ActionRole Role() const override { return role_; }
    std::string WrittenFile() const override { return target_; }

private:
    std::string source_;  // empty when read back from a journal
    std::string target_;
    std::string backup_;
    ActionRole role_;
};

// Where path is: in the installation folder of ctx or elsewhere.
FilePlace PlaceOf(const ActionContext& ctx, const std::string& path);
// Makes backup a flushed copy of path (which is at place); the system's
// code on failure.
ActionResult BackUpFile(IFileSystem& fs, const std::string& path, const std::string& backup,
                        FilePlace place);
// Puts backup back over path (or deletes path without one).
ActionResult UndoFileWrite(ActionContext& ctx, const std::string& path, const std::string& backup);

}  // namespace tx
