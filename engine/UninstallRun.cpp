#include "engine/UninstallRun.h"

#include "deploy/ExitStatus.h"
#include "deploy/FileHelpers.h"
#include <memory>
#include <set>

#include "engine/InstallFolder.h"
#include "engine/UninstallScope.h"
#include "engine/actions/FileReplaced.h"
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
    // A run cut off between taking a backup and writing the line that
    // names it leaves a copy no one will put back, and an earlier copy of
    // the uninstaller is not needed once it goes; only ours live there.
    const std::string backups = journal.installFolder + "\\" + kBackupFolderName;
    std::set<std::string> named;
    for (const auto& a : journal.actions) {
        if (const auto* f = dynamic_cast<const FileReplaced*>(a.get())) named.insert(cp_.Lower(f->Backup()));
    }
    FindEntry entry;
    std::unique_ptr<IFindHandle> listing = fs_.FindFirst(backups + "\\*", &entry);
    std::vector<std::string> orphans;
    while (listing) {
        const std::string path = backups + "\\" + entry.name;
        if ((entry.attributes & kAttrDirectory) == 0 && named.count(cp_.Lower(path)) == 0)
            orphans.push_back(path);
        if (!listing->Next(&entry)) break;
    }
    listing.reset();
    for (const std::string& orphan : orphans) {
        ClearReadOnly(fs_, orphan);
        if (!fs_.DeleteFile(orphan)) log_.Line("backup left: " + orphan);
    }
}

int UninstallRun::Run(IUninstallObserver& observer, bool silent) {
    image_ = fs_.ModulePath();
    const std::size_t slash = cp_.LastBackslash(image_);
    const std::string folder = slash == CodePage::npos ? std::string() : image_.substr(0, slash);
    JournalFile file(fs_, folder);

    // Run elevated, it acts only on a journal no one but an administrator
    // can have written: a copy of it beside a journal of someone else's
    // making does nothing.
    UninstallScope scope(fs_, reg_, wide_, cp_, folder);
    const PreparedFolder trusted = folder.empty() ? PreparedFolder()
                                                  : CheckInstalledFolder(security_, cp_, folder,
                                                                         scope.FolderRegistered());
    if (trusted.readiness != FolderReadiness::Ready) {
        log_.Line("journal not trusted: " + folder +
                  " (others may change it, or it cannot be checked)");
        observer.JournalDamaged();
        return kExitFailed;
    }

    std::string text;
    std::string error = "no journal";
    JournalContent journal;
    const bool readable = !folder.empty() && fs_.ReadWholeFile(file.Path(), &text) &&
                          ParseJournal(text, &journal, &error) &&
                          cp_.EqualsNoCase(journal.installFolder, folder);
    if (!readable) {
        log_.Line("journal unreadable: " + file.Path() + " (" + error + ")");
        observer.JournalDamaged();
        return kExitFailed;
    }
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
    ActionList& actions = journal.actions;
    // What is not undone stays in the journal, for a second uninstall.
    std::vector<bool> keep(actions.size(), false);
    std::vector<std::string> imageFolders;  // deepest first
    std::vector<std::size_t> deferred;      // the uninstaller and its entries, newest first
    bool failed = false;
    bool restart = false;
    std::vector<std::size_t> leftBehind;  // folders and keys not empty

    for (std::size_t i = actions.size(); i-- > 0;) {
        Action& a = *actions[i];
        const UninstallScope::Verdict verdict = scope.Judge(a);
        if (verdict == UninstallScope::Verdict::OwnFile) {
            log_.Line("not undone: " + a.Describe() + " (a copy onto the installation's own file)");
            // Refused before it was made: only the backup taken for it is left.
            if (const auto* f = dynamic_cast<const FileReplaced*>(&a)) {
                if (DeleteOrSchedule(fs_, f->Backup()).status == FileStatus::Failed)
                    log_.Line("backup left: " + f->Backup());
            }
            continue;
        }
        if (verdict == UninstallScope::Verdict::Outside) {
            log_.Line("left alone: " + a.Describe() + " (no installation changes it)");
            failed = true;
            keep[i] = true;
            continue;
        }
        if (dynamic_cast<ProgramKey*>(&a) != nullptr || dynamic_cast<UninstallerCopy*>(&a) != nullptr) {
            deferred.push_back(i);
            continue;
        }
        if (const auto* made = dynamic_cast<FolderMade*>(&a)) {
            if (ContainsImage(made->Path())) {
                imageFolders.push_back(made->Path());
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
        for (const std::string& f : imageFolders) (void)fs_.MoveFileAtRestart(f, std::string());
        observer.Done();
        return kExitRestart;
    }

    const FileOutcome journalGone = DeleteOrSchedule(fs_, file.Path());
    if (journalGone.status == FileStatus::Failed) return kExitFailed;
    int result = journalGone.status == FileStatus::AtRestart ? kExitRestart : kExitDone;
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
