#include "engine/InstallEngine.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "deploy/DeploymentTable.h"
#include "deploy/FileHelpers.h"
#include "engine/HeldPayload.h"
#include "engine/actions/DemandLoadKey.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/FileWrittenNew.h"
#include "engine/actions/FolderMade.h"
#include "engine/actions/MachineKeyMade.h"
#include "engine/actions/ProgramKey.h"
#include "engine/actions/TrustedPathsValue.h"
#include "engine/actions/UninstallerCopy.h"

namespace tx {

namespace {

const char kDamagedSuffix[] = ".damaged";

std::string ErrorText(const ActionResult& r) { return "(error " + std::to_string(r.error()) + ")"; }

}  // namespace

struct InstallEngine::Run {
    Run(InstallRequest r, IInstallObserver& o, ActionContext c, JournalFile j)
        : request(std::move(r)), observer(o), ctx(c), journal(std::move(j)) {}
    InstallRequest request;
    IInstallObserver& observer;
    ActionContext ctx;
    JournalFile journal;
    bool hadJournal = false;
    std::string earlierText;  // the journal as it was before this run
    JournalContent earlier;
    bool headerWritten = false;
    InstallPlan plan;
    std::vector<bool> lineWritten;
    std::vector<bool> prepared;
    std::vector<bool> made;
};

InstallEngine::InstallEngine(const EngineServices& services)
    : s_(services), settings_(services.fs, services.codePage, services.userFolders) {}

bool InstallEngine::IsAcadRunning() { return tx::IsAcadRunning(s_.processes, s_.codePage); }

std::size_t InstallEngine::MaxInstallFolderLength() {
    std::size_t longest = 0;
    for (const char* name : kFixedInstalledNames) longest = std::max(longest, std::strlen(name));
    longest = std::max(longest, std::strlen(kJournalFileName) + std::strlen(kJournalRewriteSuffix));

    // Any file of the Data folder may be copied under its own name (all of
    // them, however many); a name that is copied elsewhere or not at all
    // only makes this stricter.
    FindEntry entry;
    std::unique_ptr<IFindHandle> listing =
        s_.fs.FindFirst(DataFolderOf(s_.fs, s_.codePage) + "\\*.*", &entry);
    while (listing) {
        if ((entry.attributes & kAttrDirectory) == 0) longest = std::max(longest, entry.name.size());
        if (!listing->Next(&entry)) break;
    }

    // "<folder>\<name>" within MAX_PATH - 1 bytes of text.
    const std::size_t maxText = kMaxPath - 1;
    return longest + 1 >= maxText ? 0 : maxText - 1 - longest;
}

PreparedFolder InstallEngine::PrepareInstallFolder(const std::string& chosen,
                                                   const std::string& installFolder) {
    PreparedFolder prepared = tx::PrepareInstallFolder(s_.folders, s_.codePage, chosen, installFolder);
    if (prepared.readiness == FolderReadiness::Ready) return prepared;
    // A refused folder leaves nothing behind: the levels made for it go.
    RemoveLevels(prepared.created, nullptr);
    prepared.created.clear();
    return prepared;
}

void InstallEngine::RemoveLevels(const std::vector<std::string>& levels, InstallFolderHold* hold) {
    if (levels.empty()) return;
    // Held levels cannot be removed.
    if (hold != nullptr) hold->Release();
    for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        if (!s_.fs.RemoveDirectory(*level)) s_.log.Line("folder left: " + *level);
}

bool InstallEngine::JournalAhead(Run& run) {
    auto& actions = run.plan.actions;
    std::string lines = run.headerWritten ? std::string() : JournalHeader(run.request.folder);
    std::vector<std::size_t> written;
    for (std::size_t i = 0; i < actions.size(); ++i) {
        Action& a = *actions[i].action;
        if (a.PreparesOnDisk()) continue;
        // What it reads must be what it finds before anything changes; one
        // that cannot prepare now tries again in its turn.
        run.prepared[i] = a.Prepare(run.ctx).ok();
        if (!run.prepared[i]) continue;
        lines += JournalLine(a);
        written.push_back(i);
    }
    if (!lines.empty() && !run.journal.Append(lines)) return false;
    run.headerWritten = true;
    for (std::size_t i : written) run.lineWritten[i] = true;
    return true;
}

void InstallEngine::PrepareBatch(Run& run, std::size_t i) {
    // Backups of the files replaced one after another, each flushed, then
    // all their lines with one flush: each line still follows its backup
    // and comes before its file is overwritten.
    constexpr std::size_t kMost = 256;
    auto& actions = run.plan.actions;
    std::string lines;
    std::vector<std::size_t> written;
    for (std::size_t j = i; j < actions.size() && j < i + kMost; ++j) {
        Action& a = *actions[j].action;
        if (!a.PreparesOnDisk() || run.prepared[j] || run.lineWritten[j] || actions[j].needs >= 0)
            break;
        // One that cannot be backed up now tries again, and says so, in
        // its turn.
        if (!a.Prepare(run.ctx).ok()) break;
        run.prepared[j] = true;
        lines += JournalLine(a);
        written.push_back(j);
    }
    if (lines.empty()) return;
    if (!run.headerWritten) lines = JournalHeader(run.request.folder) + lines;
    // Unwritten, each line is tried again in its action's turn.
    if (!run.journal.Append(lines)) return;
    run.headerWritten = true;
    for (std::size_t j : written) run.lineWritten[j] = true;
}

OsResult InstallEngine::JournalOne(Run& run, std::size_t i) {
    if (run.lineWritten[i]) return OsResult::Ok();
    std::string lines = run.headerWritten ? std::string() : JournalHeader(run.request.folder);
    lines += JournalLine(*run.plan.actions[i].action);
    const OsResult appended = run.journal.Append(lines);
    if (!appended) return appended;
    run.headerWritten = true;
    run.lineWritten[i] = true;
    return appended;
}

void InstallEngine::RollBack(Run& run) {
    auto& actions = run.plan.actions;
    const std::size_t levels = run.request.madeLevels.size();
    s_.log.Line("undoing this run");
    std::vector<std::size_t> left;
    for (std::size_t i = actions.size(); i-- > levels;) {
        Action& a = *actions[i].action;
        const bool journaled = !a.Fields().empty();
        // Also one whose line or change failed after its preparation: a
        // backup taken, a file made writable, a key deleted for rewriting.
        if (!run.lineWritten[i] && !run.prepared[i] && !run.made[i]) continue;
        const ActionResult r = a.Undo(run.ctx);
        if (r.status() == ActionResult::Status::Failed) {
            s_.log.Line("undo failed: " + a.Describe() + " " + ErrorText(r));
            if (journaled) left.insert(left.begin(), i);
        } else if (r.status() == ActionResult::Status::AtRestart) {
            s_.log.Line("undone at the next restart: " + a.Describe());
        }
    }
    if (left.empty()) {
        bool restored = false;
        if (run.hadJournal)
            restored = static_cast<bool>(run.journal.Rewrite(run.earlierText));
        else
            restored = s_.fs.DeleteFile(run.journal.Path()) ||
                       s_.fs.GetAttributes(run.journal.Path()) == kInvalidAttributes;
        if (!restored) s_.log.Line("journal not put back: " + run.journal.Path());
        RemoveLevels(run.request.madeLevels, run.request.hold);
        s_.log.Line("the run was undone: nothing changed");
        return;
    }
    // What could not be undone stays named, so the uninstaller can still
    // take it back.
    ActionList keep = std::move(run.earlier.actions);
    for (std::size_t i = 0; i < levels; ++i)
        if (run.lineWritten[i]) keep.push_back(std::move(actions[i].action));
    for (std::size_t i : left) keep.push_back(std::move(actions[i].action));
    if (!run.journal.Rewrite(FormatJournal(run.request.folder, keep)))
        s_.log.Line("journal not rewritten: " + run.journal.Path());
    s_.log.Line("the run was undone in part: the journal names what is left");
}

void InstallEngine::Commit(Run& run) {
    ActionList all = std::move(run.earlier.actions);
    bool leftOut = false;
    for (std::size_t i = 0; i < run.plan.actions.size(); ++i) {
        if (!run.lineWritten[i] || run.plan.actions[i].action->Fields().empty()) continue;
        // Refused before it changed anything: what is there is not ours.
        if (run.plan.actions[i].action->LeftAlone()) {
            leftOut = true;
            continue;
        }
        all.push_back(std::move(run.plan.actions[i].action));
    }
    const std::size_t lines = all.size();
    std::vector<std::string> dropped;
    ActionList merged = MergeJournal(std::move(all), s_.codePage, &dropped);
    // A first run into the folder is merged already: nothing to rewrite.
    if (!run.hadJournal && !leftOut && merged.size() == lines && dropped.empty()) return;
    // Before the swap: the journal as appended reads whole without them (a
    // missing backup is one put back already), and a crash between the two
    // leaves no backup that no line names.
    for (const std::string& backup : dropped) {
        ClearReadOnly(s_.fs, backup);
        if (!s_.fs.DeleteFile(backup)) s_.log.Line("backup left: " + backup);
    }
    if (!run.journal.Rewrite(FormatJournal(run.request.folder, merged)))
        s_.log.Line("journal left unmerged: " + run.journal.Path());
}

InstallResult InstallEngine::Install(const CAcadInfo& info, const InstallRequest& request,
                                     IInstallObserver& observer) {
    InstallRequest dated = request;
    if (dated.installDate.empty()) dated.installDate = s_.installDate;
    Run run(dated, observer,
            ActionContext{s_.fs, s_.registry, s_.wide, s_.codePage, request.folder, std::string()},
            JournalFile(s_.fs, request.folder));

    if (FileExists(s_.fs, DataFolderOf(s_.fs, s_.codePage)) != kPathIsFolder) {
        RemoveLevels(request.madeLevels, request.hold);
        observer.NoDataFolder();
        return InstallResult::NoDataFolder;
    }
    // Held until the run ends: every copy reads the file that was checked.
    HeldPayload payload;
    if (!payload.Check(s_.fs, s_.codePage, s_.log, s_.manifest, DataFolderOf(s_.fs, s_.codePage))) {
        RemoveLevels(request.madeLevels, request.hold);
        observer.NoDataFolder();
        return InstallResult::NoDataFolder;
    }
    if (payload.Verified()) run.ctx.payload = &payload;

    run.journal.RemoveLeftover();
    run.hadJournal = static_cast<bool>(s_.fs.ReadWholeFile(run.journal.Path(), &run.earlierText));
    if (run.hadJournal) {
        std::string error;
        if (!ParseJournal(run.earlierText, &run.earlier, &error)) {
            // What it named can no longer be told; it is kept for a person
            // to read, and this run starts a journal of its own.
            s_.log.Line("journal damaged (" + error + "): kept as " + run.journal.Path() +
                        kDamagedSuffix);
            run.earlier = JournalContent();
            if (!s_.fs.ReplaceFile(run.journal.Path(), run.journal.Path() + kDamagedSuffix)) {
                s_.log.Line("the damaged journal cannot be set aside: nothing changed");
                RemoveLevels(request.madeLevels, request.hold);
                return InstallResult::Failed;
            }
        } else if (run.earlier.version != 2 || run.earlier.droppedTornLine) {
            // Appended lines must follow whole ones of this version.
            if (!run.journal.Rewrite(FormatJournal(request.folder, run.earlier.actions))) {
                s_.log.Line("journal cannot be rewritten: nothing changed");
                return InstallResult::Failed;
            }
            run.headerWritten = true;
        } else {
            run.headerWritten = true;
        }
    }

    InstallPlanner planner(s_.fs, s_.registry, s_.wide, s_.codePage, settings_);
    if (!planner.Plan(info, run.request, run.earlier, &run.plan)) {
        // Puts back the text read, should the journal have been rewritten
        // or set aside above; failing that, what is there is whole.
        if (run.hadJournal) (void)run.journal.Rewrite(run.earlierText);
        RemoveLevels(request.madeLevels, request.hold);
        observer.NoDataFolder();
        return InstallResult::NoDataFolder;
    }
    const std::size_t n = run.plan.actions.size();
    s_.log.Line("plan: " + std::to_string(n) + " changes into " + request.folder);
    run.lineWritten.assign(n, false);
    run.prepared.assign(n, false);
    run.made.assign(n, false);

    // Nothing is changed until the journal names it; no line, no change.
    const bool ahead = JournalAhead(run);
    if (!ahead) s_.log.Line("journal cannot be written: " + run.journal.Path());
    for (std::size_t i = 0; i < n; ++i) {
        PlannedAction& p = run.plan.actions[i];
        for (int k = 0; k < p.stepsBefore; ++k) observer.Step();
        if (p.needs >= 0 && !run.made[static_cast<std::size_t>(p.needs)]) {
            s_.log.Line("skipped: " + p.action->Describe() + " (it needs " +
                        run.plan.actions[static_cast<std::size_t>(p.needs)].action->Describe() + ")");
            continue;
        }
        if (!run.prepared[i] && p.action->PreparesOnDisk()) PrepareBatch(run, i);
        for (;;) {
            ActionResult r = ActionResult::Ok();
            if (!run.prepared[i]) {
                r = p.action->Prepare(run.ctx);
                run.prepared[i] = r.ok();
            }
            if (r.ok()) r = ActionResult::FromOs(JournalOne(run, i));
            if (r.ok()) r = p.action->Apply(run.ctx);
            if (r.ok()) {
                run.made[i] = true;
                s_.log.Line("done: " + p.action->Describe());
                break;
            }
            s_.log.Line("action failed: " + p.action->Describe() + " " + ErrorText(r));
            if (observer.AllOrNothing()) {
                RollBack(run);
                return InstallResult::Failed;
            }
            if (p.action->Role() != ActionRole::Payload) {
                s_.log.Line("skipped: " + p.action->Describe());
                break;
            }
            const CopyFailedAnswer answer = observer.CopyFailed(p.action->WrittenFile());
            if (answer == CopyFailedAnswer::Retry) continue;
            if (answer == CopyFailedAnswer::Ignore) break;
            RollBack(run);
            return InstallResult::Aborted;
        }
    }
    for (int k = 0; k < run.plan.stepsAfter; ++k) observer.Step();
    Commit(run);
    return InstallResult::Completed;
}

ActionList MergeJournal(ActionList actions, const CodePage& cp, std::vector<std::string>* dropped) {
    ActionList merged;
    std::map<std::string, std::size_t> first;  // kind and lower-cased path -> index in merged
    const auto keyOf = [&](const Action& a, std::string* backup) -> std::string {
        backup->clear();
        if (const auto* f = dynamic_cast<const FileWrittenNew*>(&a)) return "file\t" + cp.Lower(f->Target());
        if (const auto* f = dynamic_cast<const FileReplaced*>(&a)) {
            *backup = f->Backup();
            return "file\t" + cp.Lower(f->Target());
        }
        if (const auto* u = dynamic_cast<const UninstallerCopy*>(&a)) {
            *backup = u->Backup();
            return "file\t" + cp.Lower(u->Path());
        }
        const std::vector<std::string> fields = a.Fields();
        return fields[0] + "\t" + cp.Lower(fields.size() > 1 ? fields[1] : std::string());
    };
    for (auto& a : actions) {
        if (a->Fields().empty()) continue;
        std::string backup;
        const std::string key = keyOf(*a, &backup);
        const auto known = first.find(key);
        if (known == first.end()) {
            first.emplace(key, merged.size());
            merged.push_back(std::move(a));
            continue;
        }
        std::unique_ptr<Action>& kept = merged[known->second];
        if (const auto* later = dynamic_cast<const TrustedPathsValue*>(a.get())) {
            const auto& earliest = static_cast<const TrustedPathsValue&>(*kept);
            kept = std::make_unique<TrustedPathsValue>(earliest.Key(), earliest.Before(), later->Written());
        } else if (const auto* later = dynamic_cast<const DemandLoadKey*>(a.get())) {
            // The key as the machine had it, with the last LOADER written.
            auto key = std::make_unique<DemandLoadKey>(later->Path(), later->Loader());
            key->SetBefore(static_cast<const DemandLoadKey&>(*kept).Before());
            kept = std::move(key);
        } else if (!backup.empty()) {
            // A copy of what an earlier run installed: the first backup is
            // the machine's own.
            dropped->push_back(backup);
        }
    }
    return merged;
}

}  // namespace tx
