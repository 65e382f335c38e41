#include "engine/InstallEngine.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "deploy/DeploymentTable.h"
#include "deploy/FileHelpers.h"
#include "engine/Backups.h"
#include "engine/HeldPayload.h"
#include "engine/InstallPlanner.h"
#include "engine/actions/BackupCarried.h"
#include "engine/actions/DemandLoadKey.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/FileWrittenNew.h"
#include "engine/actions/FolderMade.h"
#include "engine/actions/MachineKeyMade.h"
#include "engine/actions/MovedFrom.h"
#include "engine/actions/ProgramKey.h"
#include "engine/actions/TrustedPathsValue.h"
#include "engine/actions/UninstallerCopy.h"

namespace tx {

namespace {

const char kDamagedSuffix[] = ".damaged";

std::string ErrorText(const ActionResult& r) { return "(error " + std::to_string(r.error()) + ")"; }

// Whether path lies below folder.
bool Inside(const CodePage& cp, const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path[folder.size()] == '\\' &&
           cp.EqualsNoCase(path.substr(0, folder.size()), folder);
}

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
    // What must happen to this folder's journal before the first change.
    enum class JournalFix { None, SetAsideDamaged, RewriteWhole } fix = JournalFix::None;
    std::string movedFrom;  // the folder of the installation moving here
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

std::string InstallEngine::InstalledFolder() {
    const std::string folder = EntryInstallLocation(s_.registry, s_.codePage);
    return !folder.empty() && FileExists(s_.fs, folder) == kPathIsFolder ? folder : std::string();
}

bool InstallEngine::ReadEarlier(Run& run) {
    const std::string& folder = run.request.folder;
    run.hadJournal = static_cast<bool>(s_.fs.ReadWholeFile(run.journal.Path(), &run.earlierText));
    if (run.hadJournal) {
        std::string error;
        if (!ParseJournal(run.earlierText, &run.earlier, &error)) {
            // What it named can no longer be told; it is kept for a person
            // to read, and this run starts a journal of its own.
            s_.log.Line("journal damaged (" + error + "): kept as " + run.journal.Path() + kDamagedSuffix);
            run.earlier = JournalContent();
            run.fix = Run::JournalFix::SetAsideDamaged;
        } else if (run.earlier.version != 2 || run.earlier.droppedTornLine) {
            // Appended lines must follow whole ones of this version.
            run.fix = Run::JournalFix::RewriteWhole;
        }
    }

    // An installation in another folder moves here. Its lines stand first
    // in this folder's journal, before anything changes: every original it
    // kept stays named whatever happens next, and the run's end gives back
    // what this run does not make again (the old folder among it).
    const std::string found = InstalledFolder();
    if (found.empty() || s_.codePage.EqualsNoCase(found, folder)) return true;
    JournalFile oldFile(s_.fs, found);
    // Its journal counts only where no one but an administrator can have
    // written it, as for its uninstaller.
    if (CheckInstalledFolder(s_.folders, s_.codePage, found, true).readiness != FolderReadiness::Ready) {
        s_.log.Line("the installation in " + found + " is in a folder others may change: left as it is");
        return true;
    }
    if (FileExists(s_.fs, oldFile.Path()) != kPathIsFile) {
        s_.log.Line("the installation in " + found + " has no journal: left as it is");
        return true;
    }
    std::string text;
    JournalContent old;
    std::string error = "unreadable";
    if (!s_.fs.ReadWholeFile(oldFile.Path(), &text) || !ParseJournal(text, &old, &error) ||
        !s_.codePage.EqualsNoCase(old.installFolder, found)) {
        // Installing beside it would lose what it kept of the machine.
        s_.log.Line("the journal of the installation in " + found + " cannot be read (" + error +
                    "): nothing changed");
        return false;
    }
    ActionList carried;
    for (auto& a : old.actions) {
        // A move from here cut off on its way: this folder's own journal
        // stays.
        const auto* moved = dynamic_cast<const MovedFrom*>(a.get());
        if (moved != nullptr && s_.codePage.EqualsNoCase(moved->Folder(), folder)) continue;
        carried.push_back(std::move(a));
    }
    carried.push_back(std::make_unique<MovedFrom>(found));
    for (auto& a : run.earlier.actions) carried.push_back(std::move(a));
    run.earlier.actions = std::move(carried);
    run.movedFrom = found;
    s_.log.Line("moving the installation from " + found);
    return true;
}

bool InstallEngine::RestartPendsOn(const Run& run) {
    std::vector<std::string> pending;
    const OsResult read = s_.fs.RestartOperationPaths(&pending);
    if (!read) {
        // Unseen, they may well name what this run writes.
        s_.log.Line("pending restart operations unreadable (error " + std::to_string(read.Code()) + ")");
        return true;
    }
    const CodePage& cp = s_.codePage;
    const auto within = [&](const std::string& path, const std::string& folder) {
        return !folder.empty() && (cp.EqualsNoCase(path, folder) || Inside(cp, path, folder));
    };
    for (const std::string& path : pending) {
        if (within(path, run.request.folder) || within(path, run.movedFrom)) return true;
        // What an uninstall left to the restart, wherever that installation
        // was: its folder may be the one the next restart empties.
        if (IsOwnRestartPath(path, cp)) return true;
        for (const PlannedAction& p : run.plan.actions) {
            const std::string target = p.action->WrittenFile();
            if (!target.empty() && cp.EqualsNoCase(path, target)) return true;
        }
    }
    return false;
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

void InstallEngine::UndoDependents(Run& run, std::size_t i) {
    for (std::size_t j = 0; j < i; ++j) {
        PlannedAction& p = run.plan.actions[j];
        if (p.needs != static_cast<int>(i) || !run.made[j]) continue;
        const ActionResult r = p.action->Undo(run.ctx);
        if (!r.ok()) {
            s_.log.Line("undo failed: " + p.action->Describe() + " " + ErrorText(r));
            continue;
        }
        run.made[j] = false;
        s_.log.Line("undone: " + p.action->Describe() + " (it needs " +
                    run.plan.actions[i].action->Describe() + ")");
    }
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

namespace {

// Which of the journal's lines this run's plan still wants: what it made
// again, the levels of its folder, the keys below which it registered,
// and the backup folder while a backup lives there.
struct PlannedThings {
    PlannedThings(const InstallPlan& plan, const CodePage& cp) {
        for (const PlannedAction& p : plan.actions) {
            things.insert(ThingOf(*p.action, cp));
            if (const auto* d = dynamic_cast<const DemandLoadKey*>(p.action.get()))
                demandLoads.push_back(d->Path());
        }
        // A profile that trusts the folder already needs no change, and
        // its line stays.
        for (const std::string& key : plan.trustedProfiles)
            things.insert(std::string(TrustedPathsValue::kKind) + "\t" + cp.Lower(key));
    }
    std::set<std::string> things;
    std::vector<std::string> demandLoads;
};

std::vector<bool> Wanted(const ActionList& merged, const PlannedThings& plan, const std::string& folder,
                         const CodePage& cp) {
    const std::set<std::string>& planned = plan.things;
    const std::vector<std::string>& demandLoads = plan.demandLoads;
    const std::string backups = folder + "\\" + kBackupFolderName;
    bool backupsNeeded = false;
    std::vector<bool> wanted(merged.size(), false);
    for (std::size_t i = 0; i < merged.size(); ++i) {
        const Action& a = *merged[i];
        std::string backup;
        const std::string thing = ThingOf(a, cp, &backup);
        if (const auto* f = dynamic_cast<const FolderMade*>(&a)) {
            wanted[i] = cp.EqualsNoCase(f->Path(), folder) || Inside(cp, folder, f->Path()) ||
                        planned.count(thing) != 0;
        } else if (const auto* k = dynamic_cast<const MachineKeyMade*>(&a)) {
            for (const std::string& d : demandLoads) wanted[i] = wanted[i] || Inside(cp, d, k->Path());
        } else if (dynamic_cast<const MovedFrom*>(&a) == nullptr) {
            wanted[i] = planned.count(thing) != 0;
        }
        if (wanted[i] && Inside(cp, backup, backups)) backupsNeeded = true;
    }
    for (std::size_t i = 0; i < merged.size(); ++i) {
        const auto* f = dynamic_cast<const FolderMade*>(merged[i].get());
        if (f != nullptr && cp.EqualsNoCase(f->Path(), backups)) wanted[i] = backupsNeeded;
    }
    return wanted;
}

// A folder's line before the lines of what lies in it: undone newest
// first, the folder goes once they are gone (a backup carried into this
// folder belongs to an older line than the backup folder's).
void PlaceFoldersFirst(ActionList& lines, const CodePage& cp) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto* folder = dynamic_cast<const FolderMade*>(lines[i].get());
        if (folder == nullptr) continue;
        for (std::size_t j = 0; j < i; ++j) {
            std::string backup;
            const std::string thing = ThingOf(*lines[j], cp, &backup);
            const std::string path = thing.substr(thing.find('\t') + 1);
            if (Inside(cp, path, folder->Path()) || Inside(cp, backup, folder->Path())) {
                std::rotate(lines.begin() + static_cast<std::ptrdiff_t>(j),
                            lines.begin() + static_cast<std::ptrdiff_t>(i),
                            lines.begin() + static_cast<std::ptrdiff_t>(i + 1));
                break;
            }
        }
    }
}

}  // namespace

void InstallEngine::Commit(Run& run) {
    const CodePage& cp = s_.codePage;
    const PlannedThings planned(run.plan, cp);
    std::set<std::string> rewritten;
    for (std::size_t i = 0; i < run.plan.actions.size(); ++i)
        if (run.lineWritten[i]) rewritten.insert(ThingOf(*run.plan.actions[i].action, cp));
    ActionList all = std::move(run.earlier.actions);
    const std::size_t earlierCount = all.size();
    bool leftOut = false;
    std::map<std::string, std::string> carried;  // lower-cased old backup -> its copy here
    for (std::size_t i = 0; i < run.plan.actions.size(); ++i) {
        std::unique_ptr<Action>& a = run.plan.actions[i].action;
        if (!run.lineWritten[i] || a->Fields().empty()) continue;
        // Refused before it changed anything: what is there is not ours.
        if (a->LeftAlone()) {
            leftOut = true;
            continue;
        }
        // A carried backup is named as the backup below; one not made is
        // a new file whose remains go.
        if (const auto* c = dynamic_cast<const BackupCarried*>(a.get()); c != nullptr && run.made[i]) {
            carried[cp.Lower(c->From())] = c->To();
            continue;
        }
        all.push_back(std::move(a));
    }
    // An earlier replacement whose backup was put back (an uninstall cut
    // off after it): the file this run backed up is the machine's own now,
    // and the earlier lines of it go.
    std::set<std::string> seen;
    std::set<std::string> putBack;
    for (std::size_t i = 0; i < earlierCount; ++i) {
        const std::string thing = ThingOf(*all[i], cp);
        if (!seen.insert(thing).second) continue;
        const auto* f = dynamic_cast<const FileReplaced*>(all[i].get());
        if (f == nullptr || rewritten.count(thing) == 0) continue;
        // Only a backup that is not there at all: one that cannot be read
        // now is still the machine's file.
        std::uint64_t size = 0;
        const OsResult there = s_.fs.FileSize(f->Backup(), &size);
        if (!there && (there.Code() == kErrorFileNotFound || there.Code() == kErrorPathNotFound))
            putBack.insert(thing);
    }
    std::vector<std::string> dropped;
    if (!putBack.empty()) {
        ActionList still;
        for (std::size_t i = 0; i < all.size(); ++i) {
            std::string backup;
            if (i < earlierCount && putBack.count(ThingOf(*all[i], cp, &backup)) != 0) {
                if (!backup.empty()) dropped.push_back(backup);
                continue;
            }
            still.push_back(std::move(all[i]));
        }
        all = std::move(still);
    }
    const std::size_t lines = all.size();
    ActionList merged = MergeJournal(std::move(all), cp, &dropped);
    for (auto& a : merged) {
        const auto* f = dynamic_cast<const FileReplaced*>(a.get());
        if (f == nullptr) continue;
        const auto copy = carried.find(cp.Lower(f->Backup()));
        if (copy != carried.end())
            a = std::make_unique<FileReplaced>(std::string(), f->Target(), copy->second, ActionRole::Quiet);
    }
    if (!carried.empty()) {
        // A carried copy is a backup now, no new file of ours: the line an
        // earlier carry cut off left for the same name goes too.
        const std::set<std::string> backups = NamedBackups(merged, cp, true);
        ActionList remaining;
        for (auto& a : merged) {
            const auto* n = dynamic_cast<const FileWrittenNew*>(a.get());
            if (n == nullptr || backups.count(cp.Lower(n->Target())) == 0) remaining.push_back(std::move(a));
        }
        merged = std::move(remaining);
        PlaceFoldersFirst(merged, cp);
    }
    const std::vector<bool> wanted = Wanted(merged, planned, run.request.folder, cp);
    const bool retire = std::find(wanted.begin(), wanted.end(), false) != wanted.end();
    // A first run into the folder is merged already: nothing to rewrite.
    if (!run.hadJournal && !leftOut && merged.size() == lines && dropped.empty() && carried.empty() &&
        !retire)
        return;
    // Before the swap: the journal as appended reads whole without them (a
    // missing backup is one put back already), and a crash between the two
    // leaves no backup that no line names.
    for (const std::string& backup : dropped) {
        ClearReadOnly(s_.fs, backup);
        if (!s_.fs.DeleteFile(backup)) s_.log.Line("backup left: " + backup);
    }
    if (!run.journal.Rewrite(FormatJournal(run.request.folder, merged))) {
        s_.log.Line("journal left unmerged: " + run.journal.Path());
        return;
    }
    // Now that the journal names the copies, the old backups go, with any
    // a run cut off before its line left.
    const std::set<std::string> named = NamedBackups(merged, cp, true);
    RemoveUnnamedBackups(s_.fs, cp, run.request.folder, named, s_.log);
    for (const auto& a : merged)
        if (const auto* moved = dynamic_cast<const MovedFrom*>(a.get()))
            RemoveUnnamedBackups(s_.fs, cp, moved->Folder(), named, s_.log);
    if (!retire) return;

    // What earlier runs made and this one did not make again goes back, as
    // the uninstaller would take it back: newest first.
    ActionContext ctx = run.ctx;
    ctx.runningImage = s_.fs.ModulePath();
    ctx.journal = &merged;
    std::vector<bool> keep = wanted;
    for (std::size_t i = merged.size(); i-- > 0;) {
        if (wanted[i]) continue;
        const ActionResult r = merged[i]->Undo(ctx);
        if (r.status() == ActionResult::Status::Failed) {
            // Named still, for the next run or the uninstaller.
            s_.log.Line("left for the next run: " + merged[i]->Describe() + " " + ErrorText(r));
            keep[i] = true;
        } else {
            s_.log.Line("given back: " + merged[i]->Describe());
        }
    }
    ActionList kept;
    for (std::size_t i = 0; i < merged.size(); ++i)
        if (keep[i]) kept.push_back(std::move(merged[i]));
    if (!run.journal.Rewrite(FormatJournal(run.request.folder, kept)))
        s_.log.Line("journal not rewritten: " + run.journal.Path());
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

    if (!ReadEarlier(run)) {
        RemoveLevels(request.madeLevels, request.hold);
        return InstallResult::Failed;
    }

    InstallPlanner planner(s_.fs, s_.registry, s_.wide, s_.codePage, settings_);
    if (!planner.Plan(info, run.request, run.earlier, &run.plan)) {
        RemoveLevels(request.madeLevels, request.hold);
        observer.NoDataFolder();
        return InstallResult::NoDataFolder;
    }
    const std::size_t n = run.plan.actions.size();
    s_.log.Line("plan: " + std::to_string(n) + " changes into " + request.folder);
    // The restart would delete what this run writes, or put an old file
    // back over it.
    if (RestartPendsOn(run)) {
        s_.log.Line("a restart is pending for files of this installation: nothing changed");
        RemoveLevels(request.madeLevels, request.hold);
        observer.RestartNeeded();
        return InstallResult::RestartPending;
    }
    run.lineWritten.assign(n, false);
    run.prepared.assign(n, false);
    run.made.assign(n, false);

    // This folder's journal made whole for the lines to come.
    OsResult fixed = OsResult::Ok();
    if (run.fix == Run::JournalFix::SetAsideDamaged) {
        fixed = s_.fs.ReplaceFile(run.journal.Path(), run.journal.Path() + kDamagedSuffix);
    } else if (run.fix == Run::JournalFix::RewriteWhole || !run.movedFrom.empty()) {
        fixed = run.journal.Rewrite(FormatJournal(request.folder, run.earlier.actions));
        run.headerWritten = static_cast<bool>(fixed);
    } else {
        run.headerWritten = run.hadJournal;
    }
    if (!fixed) {
        s_.log.Line("journal cannot be written: " + run.journal.Path() + ": nothing changed");
        RemoveLevels(request.madeLevels, request.hold);
        return InstallResult::Failed;
    }

    // Nothing is changed until the journal names it; no line, no change.
    const bool ahead = JournalAhead(run);
    if (!ahead) s_.log.Line("journal cannot be written: " + run.journal.Path());
    for (std::size_t i = 0; i < n; ++i) {
        PlannedAction& p = run.plan.actions[i];
        for (int k = 0; k < p.stepsBefore; ++k) observer.Step();
        if (p.needs >= 0 && static_cast<std::size_t>(p.needs) < i &&
            !run.made[static_cast<std::size_t>(p.needs)]) {
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
                UndoDependents(run, i);
                break;
            }
            const CopyFailedAnswer answer = observer.CopyFailed(p.action->WrittenFile());
            if (answer == CopyFailedAnswer::Retry) continue;
            if (answer == CopyFailedAnswer::Ignore) {
                UndoDependents(run, i);
                break;
            }
            RollBack(run);
            return InstallResult::Aborted;
        }
    }
    for (int k = 0; k < run.plan.stepsAfter; ++k) observer.Step();
    // What a rewrite cut off by a crash left; an undone run leaves it.
    run.journal.RemoveLeftover();
    Commit(run);
    return InstallResult::Completed;
}

std::string ThingOf(const Action& a, const CodePage& cp, std::string* backup) {
    std::string ignored;
    if (backup == nullptr) backup = &ignored;
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
    if (const auto* c = dynamic_cast<const BackupCarried*>(&a)) return "file\t" + cp.Lower(c->To());
    // Also when this run does not journal them again.
    if (const auto* d = dynamic_cast<const DemandLoadKey*>(&a))
        return std::string(DemandLoadKey::kKind) + "\t" + cp.Lower(d->Path());
    if (const auto* k = dynamic_cast<const ProgramKey*>(&a))
        return std::string(ProgramKey::kKind) + "\t" + cp.Lower(k->Path());
    const std::vector<std::string> fields = a.Fields();
    if (fields.empty()) return std::string();
    return fields[0] + "\t" + cp.Lower(fields.size() > 1 ? fields[1] : std::string());
}

ActionList MergeJournal(ActionList actions, const CodePage& cp, std::vector<std::string>* dropped) {
    ActionList merged;
    std::map<std::string, std::size_t> first;  // kind and lower-cased path -> index in merged
    std::set<std::string> keptBackups;          // lower-cased
    for (auto& a : actions) {
        if (a->Fields().empty()) continue;
        std::string backup;
        const std::string key = ThingOf(*a, cp, &backup);
        const auto known = first.find(key);
        if (known == first.end()) {
            if (!backup.empty()) keptBackups.insert(cp.Lower(backup));
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
        } else if (!backup.empty() && keptBackups.count(cp.Lower(backup)) == 0) {
            // A copy of what an earlier run installed: the first backup is
            // the machine's own (a line carried twice names it twice).
            dropped->push_back(backup);
        }
    }
    return merged;
}

}  // namespace tx
