#include "engine/actions/BackupCarried.h"

#include "engine/actions/FileReplaced.h"
#include "engine/actions/FileWrittenNew.h"

namespace tx {

std::vector<std::string> BackupCarried::Fields() const { return {FileWrittenNew::kKind, to_}; }

ActionResult BackupCarried::Apply(ActionContext& ctx) {
    // From another folder: a link there is not followed.
    return BackUpFile(ctx.fs, from_, to_, PlaceOf(ctx, from_));
}

ActionResult BackupCarried::Undo(ActionContext& ctx) { return UndoFileWrite(ctx, to_, std::string()); }

}  // namespace tx
