// A backup an installation in another folder took, copied into this
// folder's backups when the installation moves here: the file it stands
// for is still the machine's own. Its line is that of a new file until the
// run's end names the copy as the backup.
#pragma once

#include "engine/Action.h"

namespace tx {

class BackupCarried final : public Action {
public:
    BackupCarried(std::string from, std::string to) : from_(std::move(from)), to_(std::move(to)) {}

    const std::string& From() const { return from_; }
    const std::string& To() const { return to_; }
    std::vector<std::string> Fields() const override;
    std::string Describe() const override { return "backup-carried " + from_ + " -> " + to_; }
    // Copied and flushed: the old one goes once the journal names this one.
    ActionResult Apply(ActionContext& ctx) override;
    ActionResult Undo(ActionContext& ctx) override;

private:
    std::string from_;
    std::string to_;
};

}  // namespace tx
