#include "engine/UninstallRun.h"

#include "deploy/ExitStatus.h"
#include "deploy/FileHelpers.h"
#include <memory>
#include <set>

#include "engine/Backups.h"
#include "engine/InstallPlanner.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/MovedFrom.h"
#include "engine/actions/FolderMade.h"
#include "engine/actions/ProgramKey.h"
#include "engine/actions/UninstallerCopy.h"

namespace tx {

bool UninstallRun::ContainsImage(const std::string& folder) const {
    const std::string prefix = folder + "\\";
    return image_.size() > prefix.size() &&
           cp_.EqualsNoCase(image_.substr(0, prefix.size()), prefix);
}

void UninstallRun::RemoveUnnamedBackups(const JournalContent& journal) {
    // An earlier copy of the uninstaller is not needed once it goes.
    const std::set<std::string> named = NamedBackups(journal.actions, cp_, false);
    tx::RemoveUnnamedBackups(fs_, cp_, journal.installFolder, named, log_);
    for (const auto& a : journal.actions)
        if (const auto* moved = dynamic_cast<const MovedFrom*>(a.get()))
            tx::RemoveUnnamedBackups(fs_, cp_, moved->Folder(), named, log_);
}

int UninstallRun::Run(IUninstallObserver& observer, bool silent) {
    image_ = fs_.ModulePath();
    const std::size_t slash = cp_.LastBackslash(image_);
    const std::string folder = slash == CodePage::npos ? std::string() : image_.substr(0, slash);
    const auto read = [&](const std::string& from, JournalContent* journal, std::string* error) {
        std::string text;
        *error = "no journal";
        return !from.empty() && fs_.ReadWholeFile(JournalFile(fs_, from).Path(), &text) &&
               ParseJournal(text, journal, error) && cp_.EqualsNoCase(journal->installFolder, from);
    };
    std::string error;
    JournalContent journal;
    bool readable = read(folder, &journal, &error);
    // A move cut off on its way leaves this uninstaller behind while the
    // entry names the new folder, whose journal carries this folder's lines
    // too (and may have deleted this folder's own): that journal is the
    // installation's, and all of it goes.
    const std::string entry = EntryInstallLocation(reg_, cp_);
    JournalContent moved;
    std::string ignored;
    if (!entry.empty() && !cp_.EqualsNoCase(entry, folder) && read(entry, &moved, &ignored)) {
        for (const auto& a : moved.actions) {
            const auto* from = dynamic_cast<const MovedFrom*>(a.get());
            if (from == nullptr || !cp_.EqualsNoCase(from->Folder(), folder)) continue;
            log_.Line("the installation moved to " + entry + ": uninstalled from there");
            journal = std::move(moved);
            readable = true;
            break;
        }
    }
    if (!readable) {
        log_.Line("journal unreadable: " + JournalFile(fs_, folder).Path() + " (" + error + ")");
        observer.JournalDamaged();
        return kExitFailed;
    }
    JournalFile file(fs_, journal.installFolder);
    if (journal.droppedTornLine) log_.Line("journal: a last line cut short was dropped");

    while (IsAcadRunning(procs_, cp_)) {
        if (silent || !observer.RetryWhileAcadRuns()) {
            log_.Line("AutoCAD is running: nothing changed");
            return silent ? kExitHostRunning : kExitCancelled;
        }
    }
    if (!observer.ConfirmUninstall()) return kExitCancelled;

    file.RemoveLeftover();
    RemoveUnnamedBackups(journal);

    ActionContext ctx{fs_, reg_, wide_, cp_, journal.installFolder, image_};
    ctx.journal = &journal.actions;
    ActionList& actions = journal.actions;
    // What is not undone stays in the journal, for a second uninstall.
    std::vector<bool> keep(actions.size(), false);
    std::vector<std::string> imageFolders;  // deepest first
    std::vector<std::string> journalFolders;  // deepest first
    std::vector<std::size_t> deferred;      // the uninstaller and its entries, newest first
    bool failed = false;
    bool restart = false;
    std::vector<std::size_t> leftBehind;  // folders and keys not empty

    for (std::size_t i = actions.size(); i-- > 0;) {
        Action& a = *actions[i];
        // An uninstaller left in a folder the installation moved from goes
        // with that folder.
        const auto* copy = dynamic_cast<UninstallerCopy*>(&a);
        if (dynamic_cast<ProgramKey*>(&a) != nullptr ||
            (copy != nullptr && cp_.EqualsNoCase(copy->Path(), image_))) {
            deferred.push_back(i);
            continue;
        }
        if (const auto* made = dynamic_cast<FolderMade*>(&a)) {
            if (ContainsImage(made->Path())) {
                imageFolders.push_back(made->Path());
                keep[i] = true;
                continue;
            }
            // Taken over from the folder moved to: its levels go once its
            // journal has.
            const std::string& own = journal.installFolder;
            if (!cp_.EqualsNoCase(own, folder) &&
                (cp_.EqualsNoCase(made->Path(), own) ||
                 (own.size() > made->Path().size() && own[made->Path().size()] == '\\' &&
                  cp_.EqualsNoCase(own.substr(0, made->Path().size()), made->Path())))) {
                journalFolders.push_back(made->Path());
                keep[i] = true;
                continue;
            }
        }
        const ActionResult r = a.Undo(ctx);
        switch (r.status()) {
            case ActionResult::Status::Done:
                log_.Line("undone: " + a.Describe());
                break;
            case ActionResult::Status::AtRestart:
                restart = true;
                keep[i] = true;
                break;
            case ActionResult::Status::Left:
                leftBehind.push_back(i);
                break;
            case ActionResult::Status::Failed:
                log_.Line("undo failed: " + a.Describe() + " (error " + std::to_string(r.error()) + ")");
                failed = true;
                keep[i] = true;
                break;
        }
    }
    // A folder is emptied at the restart, or it and a key hold what someone
    // else put there. A failed file or key keeps its folder or parent key
    // for the second run.
    for (std::size_t i : leftBehind) {
        const auto* folder = dynamic_cast<FolderMade*>(actions[i].get());
        const bool scheduled =
            folder != nullptr && restart && fs_.MoveFileAtRestart(folder->Path(), std::string());
        if (scheduled || failed) keep[i] = true;
    }

    // The entries go last, and only when everything else is gone: until
    // then Programs and Features still offers the uninstall.
    for (std::size_t i : deferred) {
        Action& a = *actions[i];
        // The running program goes after the run, by itself.
        if (dynamic_cast<UninstallerCopy*>(&a) != nullptr) {
            keep[i] = true;
            continue;
        }
        if (failed) {
            keep[i] = true;
            continue;
        }
        const ActionResult r = a.Undo(ctx);
        if (r.status() == ActionResult::Status::Failed) {
            log_.Line("undo failed: " + a.Describe() + " (error " + std::to_string(r.error()) + ")");
            failed = true;
            keep[i] = true;
        }
    }

    if (failed || restart) {
        // The journal now says what is left; the program stays with it.
        ActionList left;
        for (std::size_t i = 0; i < actions.size(); ++i)
            if (keep[i]) left.push_back(std::move(actions[i]));
        const OsResult written = file.Rewrite(FormatJournal(journal.installFolder, left));
        if (failed || !written) return kExitFailed;
        // Everything else goes at the restart, after what it waits for.
        // One that cannot be scheduled is only left over: every change is
        // undone or scheduled by now.
        (void)fs_.MoveFileAtRestart(file.Path(), std::string());
        (void)fs_.MoveFileAtRestart(image_, std::string());
        for (const std::string& f : journalFolders) (void)fs_.MoveFileAtRestart(f, std::string());
        for (const std::string& f : imageFolders) (void)fs_.MoveFileAtRestart(f, std::string());
        observer.Done();
        return kExitRestart;
    }

    const FileOutcome journalGone = DeleteOrSchedule(fs_, file.Path());
    if (journalGone.status == FileStatus::Failed) return kExitFailed;
    int result = journalGone.status == FileStatus::AtRestart ? kExitRestart : kExitDone;
    for (const std::string& f : journalFolders) {
        if (fs_.RemoveDirectory(f)) continue;
        // Emptied at the restart, or it holds what someone else put there.
        if (result == kExitRestart) (void)fs_.MoveFileAtRestart(f, std::string());
        else log_.Line("folder left: " + f);
    }
    if (!self_.RemoveAfterExit(image_, imageFolders)) {
        // At the latest the next restart removes them.
        bool scheduled = static_cast<bool>(fs_.MoveFileAtRestart(image_, std::string()));
        for (const std::string& f : imageFolders)
            scheduled = fs_.MoveFileAtRestart(f, std::string()) && scheduled;
        result = scheduled ? kExitRestart : kExitFailed;
    }
    if (result != kExitFailed) observer.Done();
    return result;
}

}  // namespace tx
