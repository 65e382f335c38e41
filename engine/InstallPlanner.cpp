#include "engine/InstallPlanner.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>

#include "deploy/DeploymentTable.h"
#include "deploy/FileHelpers.h"
#include "deploy/PathLimits.h"
#include "engine/actions/BackupCarried.h"
#include "engine/actions/DemandLoadKey.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/FileWrittenNew.h"
#include "engine/actions/FolderMade.h"
#include "engine/actions/MachineKeyMade.h"
#include "engine/actions/MovedFrom.h"
#include "engine/actions/PathOutOfReach.h"
#include "engine/actions/ProgramKey.h"
#include "engine/actions/TrustedPathsValue.h"
#include "engine/actions/UninstallerCopy.h"
#include "engine/actions/UserSettingsCopy.h"
#include "engine/BuildInfo.h"
#include "host/TrustedPathList.h"

namespace tx {

const char* const kUninstallKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TarnixBatchPlot";
const char* const kActiveSetupKey =
    "SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\TarnixBatchPlot";
const char* const kActiveSetupVersion = TX_VERSION_COMMAS;

std::string ActiveSetupStubPath(const std::string& uninstaller) {
    return "%SystemRoot%\\System32\\cmd.exe /d /c \"set __COMPAT_LAYER=RunAsInvoker&& \"" +
           uninstaller + "\" /USER\"";
}

std::string EntryInstallLocation(IRegistry& reg, const CodePage& cp) {
    UniqueRegKey key(reg);
    if (reg.OpenKeyRead(kHkeyLocalMachine, kUninstallKey, key.put()) != kRegOk || !key) return std::string();
    std::vector<unsigned char> buffer(2 * kMaxPath, 0);
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size() - 1);
    std::uint32_t type = 0;
    if (reg.QueryValue(key.get(), "InstallLocation", &type, buffer.data(), &size) != kRegOk || type != kRegSz)
        return std::string();
    std::string folder(reinterpret_cast<const char*>(buffer.data()));
    if (cp.EndsWithBackslash(folder)) folder.pop_back();
    return folder;
}

namespace {
constexpr int kDriverReleaseIndex = ReleaseIndexOfYear(2008);
}  // namespace

struct InstallPlanner::State {
    State(const InstallRequest& r, const JournalContent& e, InstallPlan& p)
        : request(r), earlier(e), plan(p) {}
    const InstallRequest& request;
    const JournalContent& earlier;
    InstallPlan& plan;
    int pendingSteps = 0;
    bool folderIsNew = false;  // this run made the installation folder
    std::set<std::string> targets;  // lower-cased, written by this plan
    std::set<std::string> backups;  // lower-cased, named by this plan
    bool backupFolderReady = false;
    std::uint64_t bytes = 0;
    // The folders the installation is moving away from.
    std::vector<std::string> movedFrom;

    // Whether the journal already names a line of this kind for path.
    template <class Kind, class Match>
    bool Journaled(Match match) const {
        for (const auto& a : earlier.actions) {
            const auto* k = dynamic_cast<const Kind*>(a.get());
            if (k != nullptr && match(*k)) return true;
        }
        return false;
    }
};

void InstallPlanner::Add(State& s, std::unique_ptr<Action> action, int needs) {
    PlannedAction planned;
    planned.action = std::move(action);
    planned.stepsBefore = s.pendingSteps;
    planned.needs = needs;
    s.pendingSteps = 0;
    s.plan.actions.push_back(std::move(planned));
}

std::string InstallPlanner::NextBackup(State& s, const std::string& target) {
    const std::string backups = s.request.folder + "\\" + kBackupFolderName;
    if (!s.backupFolderReady) {
        const std::uint32_t attributes = fs_.GetAttributes(backups);
        if (attributes == kInvalidAttributes) Add(s, std::make_unique<FolderMade>(backups));
        s.backupFolderReady = true;
    }
    const std::size_t slash = cp_.LastBackslash(target);
    const std::string name = slash == CodePage::npos ? target : target.substr(slash + 1);
    for (int n = 1; n < 10000; ++n) {
        std::string backup = backups + "\\" + std::to_string(n) + "-" + name;
        // A file at the folder's length limit has room for a number only.
        if (!FitsPathBuffer(backup)) backup = backups + "\\" + std::to_string(n);
        if (!FitsPathBuffer(backup)) return std::string();
        if (s.backups.count(cp_.Lower(backup)) != 0) continue;
        if (fs_.GetAttributes(backup) != kInvalidAttributes) continue;
        s.backups.insert(cp_.Lower(backup));
        return backup;
    }
    return std::string();
}

void InstallPlanner::AddFileWrite(State& s, const std::string& source, const std::string& target,
                                  ActionRole role) {
    if (!FitsPathBuffer(source) || !FitsPathBuffer(target)) {
        Add(s, std::make_unique<PathOutOfReach>(target, role));
        return;
    }
    // What the installation keeps for itself is never a package file's
    // target, whatever the package holds.
    const std::string& folder = s.request.folder;
    for (const std::string& own : {std::string(kJournalFileName), std::string(kJournalFileName) + kJournalRewriteSuffix,
                                  std::string(kUninstallerName), std::string(kBackupFolderName)}) {
        if (cp_.EqualsNoCase(target, folder + "\\" + own)) {
            Add(s, std::make_unique<PathOutOfReach>(target, role, PathOutOfReach::kErrorAccessDenied));
            return;
        }
    }
    std::uint64_t size = 0;
    if (fs_.FileSize(source, &size)) s.bytes += size;
    const std::string key = cp_.Lower(target);
    if (!s.targets.insert(key).second) {
        // The first copy's line covers this one.
        Add(s, std::make_unique<FileWrittenNew>(source, target, role, false, false));
        return;
    }
    // Nothing can be in a folder this run made and holds: no need to look.
    const bool inNewFolder =
        s.folderIsNew && cp_.EqualsNoCase(target.substr(0, folder.size() + 1), folder + "\\") &&
        target.find('\\', folder.size() + 1) == std::string::npos;
    const std::uint32_t attributes = inNewFolder ? kInvalidAttributes : AttributesOrListing(fs_, target);
    if (attributes == kInvalidAttributes || (attributes & kAttrDirectory) != 0) {
        // A folder in the way is no file of the machine's to keep: the copy
        // fails, and says so.
        Add(s, std::make_unique<FileWrittenNew>(source, target, role, inNewFolder));
        return;
    }
    const std::string backup = NextBackup(s, target);
    if (backup.empty()) {
        Add(s, std::make_unique<PathOutOfReach>(target, role));
        return;
    }
    Add(s, std::make_unique<FileReplaced>(source, target, backup, role));
}

void InstallPlanner::PlanPayload(State& s, const std::string& data) {
    const std::string& install = s.request.folder;
    const std::string pattern = data + "\\*.*";
    FindEntry entry;
    std::unique_ptr<IFindHandle> listing;
    if (FitsPathBuffer(pattern)) listing = fs_.FindFirst(pattern, &entry);
    if (!listing) return;

    // One step per entry and one for the fetch that ends the listing, so a
    // listing of N entries gives N + 1 steps however long it is.
    for (std::size_t i = 0;; ++i) {
        ++s.pendingSteps;
        if (i > 0 && !listing->Next(&entry)) break;
        if (entry.name == "." || entry.name == ".." || (entry.attributes & kAttrDirectory) != 0)
            continue;
        const DeploymentRow& row = LookUpDeployment(cp_, entry.name);
        if (row.destination == Destination::NotCopied) continue;
        const std::string source = data + "\\" + entry.name;
        if (row.destination == Destination::SettingsFolder) {
            const std::string shown = settings_.TargetFor(entry.name);
            if (!FitsPathBuffer(source) || !FitsPathBuffer(shown))
                Add(s, std::make_unique<PathOutOfReach>(shown, ActionRole::Payload));
            else
                Add(s, std::make_unique<UserSettingsCopy>(settings_, source, shown));
            // The per-user step of every other user takes its first settings
            // from here; without it they keep AutoCAD's defaults, so a
            // failure is not put to the user.
            AddFileWrite(s, source, install + "\\" + kSettingsFileName, ActionRole::Quiet);
            continue;
        }
        AddFileWrite(s, source,
                     install + "\\" + (row.targetName != nullptr ? row.targetName : entry.name),
                     ActionRole::Payload);
    }
}

void InstallPlanner::PlanDemandLoads(State& s, const CAcadInfo& info) {
    for (int r = 0; r < kReleaseCount; ++r) {
        if (s.request.ticks[r] == 0) continue;
        const std::string loader = HostRegistrar::LoaderFor(s.request.folder, r);
        if (loader.empty()) continue;
        const std::string subkey = HostRegistrar::DemandLoadSubkey(kReleases[r].year);
        for (const std::string& productKey : info.m_arrProductKey[r]) {
            UniqueRegKey product(reg_);
            if (reg_.OpenKey(kHkeyLocalMachine, productKey.c_str(), product.put()) != kRegOk ||
                !product)
                continue;
            const std::string base =
                cp_.EndsWithBackslash(productKey) ? productKey : productKey + "\\";
            UniqueRegKey applications(reg_);
            if (reg_.OpenKeyRead(product.get(), "Applications", applications.put()) == kRegNotFound)
                Add(s, std::make_unique<MachineKeyMade>(base + "Applications"));
            const std::string path = base + subkey;
            const bool known = s.Journaled<DemandLoadKey>([&](const DemandLoadKey& d) {
                return cp_.EqualsNoCase(d.Path(), path) && d.Loader() == loader;
            });
            Add(s, std::make_unique<DemandLoadKey>(path, loader, !known));
        }
    }
}

void InstallPlanner::PlanSupportFiles(State& s, const CAcadInfo& info, const std::string& data) {
    // An installation without its "Fonts" or "Drv" folder gets nothing there.
    const auto folderThere = [&](const std::string& folder) {
        const std::uint32_t attributes = fs_.GetAttributes(folder);
        return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
    };
    for (int r = 0; r < kReleaseCount; ++r) {
        if (s.request.ticks[r] == 0) continue;
        for (const std::string& location : info.m_arrAcadLocation[r]) {
            const std::string fonts = location + "\\Fonts";
            if (folderThere(fonts)) {
                AddFileWrite(s, data + "\\Tarnix_EN.shx", fonts + "\\Tarnix_EN.shx", ActionRole::Quiet);
                AddFileWrite(s, data + "\\Tarnix_HZ.shx", fonts + "\\Tarnix_HZ.shx", ActionRole::Quiet);
            }
            const std::string drv = location + "\\Drv";
            if (r == kDriverReleaseIndex && folderThere(drv))
                AddFileWrite(s, data + "\\Tarnix.prt5", drv + "\\pdfplot9.hdi", ActionRole::Quiet);
        }
    }
}

void InstallPlanner::PlanCarriedBackups(State& s) {
    const std::string own = cp_.Lower(s.request.folder + "\\" + kBackupFolderName + "\\");
    std::set<std::string> seen;
    for (const auto& a : s.earlier.actions) {
        // A target's first line says what the machine had: a later backup
        // holds an earlier installation's copy.
        std::string target;
        if (const auto* n = dynamic_cast<const FileWrittenNew*>(a.get())) target = n->Target();
        const auto* f = dynamic_cast<const FileReplaced*>(a.get());
        if (f != nullptr) target = f->Target();
        if (target.empty() || !seen.insert(cp_.Lower(target)).second || f == nullptr) continue;
        const std::string backup = cp_.Lower(f->Backup());
        if (backup.compare(0, own.size(), own) == 0) continue;
        // A file this plan does not write again gets its original back
        // from where it is.
        if (s.targets.count(cp_.Lower(target)) == 0) continue;
        if (fs_.GetAttributes(f->Backup()) == kInvalidAttributes) continue;
        const std::string to = NextBackup(s, target);
        if (!to.empty()) Add(s, std::make_unique<BackupCarried>(f->Backup(), to));
    }
}

std::string InstallPlanner::NextActiveSetupVersion() {
    using Version = std::array<unsigned long, 4>;
    const auto parse = [](const std::string& text, Version* v) {
        std::size_t at = 0;
        for (std::size_t i = 0; i < v->size(); ++i) {
            if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
            char* end = nullptr;
            (*v)[i] = std::strtoul(text.c_str() + at, &end, 10);
            at = static_cast<std::size_t>(end - text.c_str());
            if (i + 1 < v->size() && (at >= text.size() || text[at++] != ',')) return false;
        }
        return at == text.size();
    };
    Version base{};
    Version now{};
    if (!parse(kActiveSetupVersion, &base)) return kActiveSetupVersion;
    // Windows runs the stub again for every user whose own copy is lower:
    // each run raises it, so that users whose AutoCAD settings were reset
    // or made since get their trusted path at the next logon.
    const RegValueState found = ReadValueState(reg_, kHkeyLocalMachine, kActiveSetupKey, "Version");
    std::string text;
    if (found.valueExists && found.type == kRegSz)
        for (char16_t c : TrustedPathList::Body(UnpackUtf16(found.data)))
            text += c < 0x80 ? static_cast<char>(c) : '?';
    Version next = base;
    if (parse(text, &now) && now >= base && now[3] < 0xFFFFu) {
        next = now;
        ++next[3];
    }
    return std::to_string(next[0]) + "," + std::to_string(next[1]) + "," +
           std::to_string(next[2]) + "," + std::to_string(next[3]);
}

void InstallPlanner::PlanTrustedPaths(State& s) {
    std::vector<WideString> earlierFolders;
    for (const std::string& folder : s.movedFrom) {
        WideString wide;
        if (wide_.ToWide(folder, &wide) && !wide.empty()) earlierFolders.push_back(wide_.UpperWide(wide));
    }
    for (TrustedPathsChange& change : registrar_.PlanTrustedPath(s.request.folder, true)) {
        const TrustedPathsValue* first = nullptr;
        for (const auto& a : s.earlier.actions) {
            const auto* t = dynamic_cast<const TrustedPathsValue*>(a.get());
            if (t != nullptr && cp_.EqualsNoCase(t->Key(), change.variablesKey)) {
                first = t;
                break;
            }
        }
        for (const WideString& old : earlierFolders)
            if (first == nullptr || !StoredValueHasEntry(first->Before(), old, wide_))
                (void)RemoveStoredEntry(&change.written, old, wide_);
        s.plan.trustedProfiles.push_back(change.variablesKey);
        if (change.written == change.before) continue;
        Add(s, std::make_unique<TrustedPathsValue>(change.variablesKey, std::move(change.before),
                                                   std::move(change.written)));
    }
}

void InstallPlanner::PlanUninstaller(State& s) {
    const std::string& folder = s.request.folder;
    const std::string uninstaller = folder + "\\" + kUninstallerName;
    std::uint64_t size = 0;
    if (fs_.FileSize(fs_.ModulePath(), &size)) s.bytes += size;
    std::string backup;
    const std::uint32_t attributes = AttributesOrListing(fs_, uninstaller);
    if (attributes != kInvalidAttributes && (attributes & kAttrDirectory) == 0)
        backup = NextBackup(s, uninstaller);
    const int copy = static_cast<int>(s.plan.actions.size());
    Add(s, std::make_unique<UninstallerCopy>(uninstaller, backup));

    const auto known = [&](const std::string& path) {
        return s.Journaled<ProgramKey>(
            [&](const ProgramKey& k) { return cp_.EqualsNoCase(k.Path(), path); });
    };
    // Without the uninstaller, an entry would name a program that is not there.
    const std::string quoted = "\"" + uninstaller + "\"";
    const std::uint64_t kb = (s.bytes + 1023) / 1024;
    Add(s,
        std::make_unique<ProgramKey>(
            kUninstallKey,
            std::vector<KeyValue>{
                TextValue("DisplayName", "Tarnix批打印软件"),
                TextValue("DisplayVersion", kDisplayVersion),
                TextValue("Publisher", "Tarnix"),
                TextValue("InstallLocation", folder),
                TextValue("DisplayIcon", uninstaller),
                TextValue("UninstallString", quoted),
                TextValue("QuietUninstallString", quoted + " /S"),
                NumberValue("EstimatedSize",
                            static_cast<std::uint32_t>(std::min<std::uint64_t>(kb, 0xFFFFFFFFu))),
                TextValue("InstallDate", s.request.installDate),
                NumberValue("NoModify", 1),
                NumberValue("NoRepair", 1),
            },
            !known(kUninstallKey)),
        copy);

    const std::string version = NextActiveSetupVersion();
    // Windows runs StubPath once for every user who logs on and whose own
    // copy of the key has an older Version (or none): that brings the
    // trusted path and the settings file to users the installation could
    // not reach. The program's manifest asks for elevation, which a user's
    // logon cannot grant, so the stub starts it under the RunAsInvoker
    // compatibility layer: with the user's own rights, as the step needs.
    // REG_EXPAND_SZ: Windows expands %SystemRoot% before it runs the stub.
    Add(s,
        std::make_unique<ProgramKey>(
            kActiveSetupKey,
            std::vector<KeyValue>{
                TextValue("", "Tarnix批打印软件"),
                TextValue("Version", version),
                TextValue("StubPath", ActiveSetupStubPath(uninstaller), kRegExpandSz),
                NumberValue("IsInstalled", 1),
            },
            !known(kActiveSetupKey)),
        copy);
    // The installing user has had the per-user part already.
    const std::string userMark = std::string(kCurrentUserPrefix) + kActiveSetupKey;
    Add(s,
        std::make_unique<ProgramKey>(userMark,
                                     std::vector<KeyValue>{TextValue("Version", version)},
                                     !known(userMark)),
        copy);
}

bool InstallPlanner::Plan(const CAcadInfo& info, const InstallRequest& request,
                          const JournalContent& earlier, InstallPlan* plan) {
    *plan = InstallPlan();
    State s(request, earlier, *plan);
    for (const std::string& level : request.madeLevels) {
        Add(s, std::make_unique<FolderMade>(level, true));
        if (cp_.EqualsNoCase(level, request.folder)) s.folderIsNew = true;
    }
    for (const auto& a : earlier.actions)
        if (const auto* moved = dynamic_cast<const MovedFrom*>(a.get()))
            if (!cp_.EqualsNoCase(moved->Folder(), request.folder)) s.movedFrom.push_back(moved->Folder());

    const std::string data = DataFolderOf(fs_, cp_);
    const std::size_t before = plan->actions.size();
    const int stepsBefore = s.pendingSteps;
    PlanPayload(s, data);
    // Even an empty folder lists "." and "..": without a listing nothing
    // would be copied, and the modules registered next would not be there.
    if (plan->actions.size() == before && s.pendingSteps == stepsBefore) return false;
    ++s.pendingSteps;  // the payload is in place

    PlanDemandLoads(s, info);
    PlanTrustedPaths(s);
    ++s.pendingSteps;  // registered

    PlanSupportFiles(s, info, data);
    PlanCarriedBackups(s);
    PlanUninstaller(s);
    plan->stepsAfter = s.pendingSteps + 1;  // the support files and the uninstaller are in place

    // The entries and the uninstaller come first: from the first change on,
    // the next run of the program finds this installation, and Programs
    // and Features can remove it, wherever it was cut off. The keys need
    // the uninstaller: if it cannot be written, they are undone.
    auto& actions = plan->actions;
    const std::size_t tail = actions.size() - 4;  // the copy, then its three keys
    std::vector<PlannedAction> front;
    for (std::size_t i : {tail + 1, tail + 2, tail + 3, tail}) front.push_back(std::move(actions[i]));
    actions.resize(tail);
    const std::size_t at = request.madeLevels.size();
    // The uninstaller's backup needs its folder first.
    const std::string backups = request.folder + "\\" + kBackupFolderName;
    const bool backedUp = !static_cast<const UninstallerCopy&>(*front.back().action).Backup().empty();
    for (std::size_t i = at; backedUp && i < actions.size(); ++i) {
        const auto* made = dynamic_cast<const FolderMade*>(actions[i].action.get());
        if (made == nullptr || !cp_.EqualsNoCase(made->Path(), backups)) continue;
        // Its steps stay where they were due.
        if (i + 1 < actions.size()) {
            actions[i + 1].stepsBefore += actions[i].stepsBefore;
            actions[i].stepsBefore = 0;
        }
        front.insert(front.begin(), std::move(actions[i]));
        actions.erase(actions.begin() + static_cast<std::ptrdiff_t>(i));
        break;
    }
    for (std::size_t i = 0; i < front.size(); ++i) {
        plan->stepsAfter += front[i].stepsBefore;
        front[i].stepsBefore = 0;
        const bool key = dynamic_cast<const ProgramKey*>(front[i].action.get()) != nullptr;
        front[i].needs = key ? static_cast<int>(at + front.size() - 1) : -1;
    }
    actions.insert(actions.begin() + static_cast<std::ptrdiff_t>(at), std::make_move_iterator(front.begin()),
                   std::make_move_iterator(front.end()));
    return true;
}

std::vector<std::string> InstallPlan::Describe() const {
    std::vector<std::string> lines;
    for (const PlannedAction& p : actions) lines.push_back(p.action->Describe());
    return lines;
}

}  // namespace tx
