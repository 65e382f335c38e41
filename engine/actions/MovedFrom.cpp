#include "engine/actions/MovedFrom.h"

#include "deploy/FileHelpers.h"
#include "engine/Journal.h"
#include "engine/actions/TrustedPathsValue.h"
#include "host/HostRegistrar.h"
#include "host/TrustedPathList.h"

namespace tx {

std::vector<std::string> OwnFolders(const ActionContext& ctx) {
    std::vector<std::string> folders{ctx.installFolder};
    if (ctx.journal != nullptr)
        for (const auto& a : *ctx.journal)
            if (const auto* moved = dynamic_cast<const MovedFrom*>(a.get())) folders.push_back(moved->Folder());
    return folders;
}

std::unique_ptr<Action> MovedFrom::Parse(const std::vector<std::string>& f) {
    if (f.size() != 2 || f[1].empty()) return nullptr;
    return std::make_unique<MovedFrom>(f[1]);
}

ActionResult MovedFrom::Undo(ActionContext& ctx) {
    // Never the journal this line is in.
    if (ctx.cp.EqualsNoCase(folder_, ctx.installFolder)) return ActionResult::Ok();
    // The old folder's trusted path goes from every profile of this user
    // whose value did not hold it before the installation (a write the
    // move could not make leaves it there otherwise).
    WideString old;
    if (ctx.wide.ToWide(folder_, &old) && !old.empty()) {
        old = ctx.wide.UpperWide(old);
        HostRegistrar registrar(ctx.reg, ctx.cp, ctx.wide);
        for (TrustedPathsChange& profile : registrar.PlanTrustedPath(folder_, true)) {
            const TrustedPathsValue* first = nullptr;
            for (std::size_t i = 0; ctx.journal != nullptr && i < ctx.journal->size() && first == nullptr; ++i) {
                const auto* t = dynamic_cast<const TrustedPathsValue*>((*ctx.journal)[i].get());
                if (t != nullptr && ctx.cp.EqualsNoCase(t->Key(), profile.variablesKey)) first = t;
            }
            if (first != nullptr && StoredValueHasEntry(first->Before(), old, ctx.wide)) continue;
            // Read as it is now: the plan's before.
            profile.written = profile.before;
            if (!RemoveStoredEntry(&profile.written, old, ctx.wide)) continue;
            const long rc = registrar.WriteTrustedPaths(profile);
            if (rc != kRegOk) return ActionResult::FromRegistry(rc);
        }
    }
    const std::string journal = folder_ + "\\" + kJournalFileName;
    for (const std::string& path : {journal + kJournalRewriteSuffix, journal}) {
        const FileOutcome gone = DeleteOrSchedule(ctx.fs, path);
        if (gone.status == FileStatus::Failed) return ActionResult::Fail(gone.error);
        if (gone.status == FileStatus::AtRestart) return ActionResult::AtRestart();
    }
    return ActionResult::Ok();
}

}  // namespace tx
