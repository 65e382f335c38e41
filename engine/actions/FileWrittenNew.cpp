#include "engine/actions/FileWrittenNew.h"

#include "deploy/FileHelpers.h"
#include "engine/OwnFiles.h"
#include "engine/HeldPayload.h"
#include "engine/actions/FileReplaced.h"

namespace tx {

OsResult CopyPackageFile(ActionContext& ctx, const std::string& source, const std::string& target,
                         bool targetFree, FilePlace place) {
    IFileSystem& fs = ctx.fs;
    IHeldFile* held = nullptr;
    if (ctx.payload != nullptr) {
        const OsResult checked = ctx.payload->Source(source, ctx.cp, &held);
        if (!checked) return checked;
    }
    if (held != nullptr) {
        // The source's attributes and streams stay behind; an earlier
        // copy's mark on the target goes.
        if (!targetFree) ClearForOverwrite(fs, target);
        const OsResult copied = CopyHeldTo(fs, *held, target, place);
        if (!copied) return copied;
        if (!targetFree) RemoveInternetMark(fs, target);
        return OsResult::Ok();
    }
    // A read-only source would make a read-only copy; a read-only or hidden
    // target refuses CopyFile.
    // Attributes that cannot be read may be read-only ones.
    const std::uint32_t attributes = fs.GetAttributes(source);
    bool readOnly = attributes == kInvalidAttributes || (attributes & kAttrReadOnly) != 0;
    if (readOnly && attributes != kInvalidAttributes &&
        fs.SetAttributes(source, attributes & ~kAttrReadOnly))
        readOnly = false;
    if (!targetFree) ClearForOverwrite(fs, target);
    const OsResult copied = CopyTo(fs, source, target, place);
    if (!copied) return copied;
    // The copy takes the attributes the source still has.
    if (readOnly || !targetFree) ClearReadOnly(fs, target);
    // Once the target is writable again: a read-only file's streams cannot
    // be deleted.
    RemoveInternetMark(fs, target);
    return OsResult::Ok();
}

std::unique_ptr<Action> FileWrittenNew::Parse(const std::vector<std::string>& f) {
    if (f.size() != 2) return nullptr;
    return std::make_unique<FileWrittenNew>(std::string(), f[1], ActionRole::Quiet, false);
}

std::vector<std::string> FileWrittenNew::Fields() const {
    if (!journaled_) return {};
    return {kKind, target_};
}

ActionResult FileWrittenNew::Apply(ActionContext& ctx) {
    // Even a folder this run made holds the journal by now, which another
    // name may reach (its short name, say): looked at as the copy is made.
    if (!tried_ && OwnFiles(ctx.fs, ctx.cp, ctx.installFolder).Holds(target_)) {
        refused_ = true;
        return ActionResult::Fail(kErrorAccessDenied);
    }
    // Planned where nothing was: whatever is there now is not ours to
    // overwrite without a backup. A second try meets its own first one.
    if (journaled_ && !tried_ && !inNewFolder_) {
        const std::uint32_t attributes = AttributesOrListing(ctx.fs, target_);
        if (attributes != kInvalidAttributes) {
            refused_ = true;
            // A folder of that name refuses the copy as CopyFile would.
            return ActionResult::Fail((attributes & kAttrDirectory) != 0 ? kErrorAccessDenied
                                                                         : kErrorFileExists);
        }
    }
    const bool free = inNewFolder_ && journaled_ && !tried_;
    tried_ = true;
    return ActionResult::FromOs(
        CopyPackageFile(ctx, source_, target_, free, PlaceOf(ctx, target_)));
}

ActionResult FileWrittenNew::Undo(ActionContext& ctx) {
    if (!journaled_ || LeftAlone()) return ActionResult::Ok();
    return UndoFileWrite(ctx, target_, std::string());
}

}  // namespace tx
