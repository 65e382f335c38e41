#include "engine/actions/MovedFrom.h"

#include "deploy/FileHelpers.h"
#include "engine/Journal.h"

namespace tx {

std::unique_ptr<Action> MovedFrom::Parse(const std::vector<std::string>& f) {
    if (f.size() != 2 || f[1].empty()) return nullptr;
    return std::make_unique<MovedFrom>(f[1]);
}

ActionResult MovedFrom::Undo(ActionContext& ctx) {
    // Never the journal this line is in.
    if (ctx.cp.EqualsNoCase(folder_, ctx.installFolder)) return ActionResult::Ok();
    const std::string journal = folder_ + "\\" + kJournalFileName;
    for (const std::string& path : {journal + kJournalRewriteSuffix, journal}) {
        const FileOutcome gone = DeleteOrSchedule(ctx.fs, path);
        if (gone.status == FileStatus::Failed) return ActionResult::Fail(gone.error);
        if (gone.status == FileStatus::AtRestart) return ActionResult::AtRestart();
    }
    return ActionResult::Ok();
}

}  // namespace tx
