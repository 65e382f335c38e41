#include "engine/actions/FileWrittenNew.h"

#include "deploy/FileHelpers.h"
#include "engine/actions/FileReplaced.h"

namespace tx {

namespace {
constexpr std::uint32_t kErrorAccessDenied = 5;  // a folder of that name
constexpr std::uint32_t kErrorFileExists = 80;
}  // namespace

bool CopyPackageFile(IFileSystem& fs, const std::string& source, const std::string& target,
                     std::uint32_t* error) {
    // A read-only source would make a read-only copy; a read-only or hidden
    // target refuses CopyFile.
    ClearReadOnly(fs, source);
    ClearForOverwrite(fs, target);
    if (!fs.CopyFile(source, target)) {
        *error = fs.LastError();
        return false;
    }
    ClearReadOnly(fs, target);
    // Once the target is writable again: a read-only file's streams cannot
    // be deleted.
    RemoveInternetMark(fs, target);
    return true;
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
    // Planned where nothing was: whatever is there now is not ours to
    // overwrite without a backup. A second try meets its own first one.
    if (journaled_ && !tried_) {
        const std::uint32_t attributes = AttributesOrListing(ctx.fs, target_);
        if (attributes != kInvalidAttributes)
            return ActionResult::Fail((attributes & kAttrDirectory) != 0 ? kErrorAccessDenied
                                                                         : kErrorFileExists);
    }
    tried_ = true;
    std::uint32_t error = 0;
    if (!CopyPackageFile(ctx.fs, source_, target_, &error)) return ActionResult::Fail(error);
    return ActionResult::Ok();
}

ActionResult FileWrittenNew::Undo(ActionContext& ctx) {
    if (!journaled_) return ActionResult::Ok();
    return UndoFileWrite(ctx, target_, std::string());
}

}  // namespace tx
