#include "engine/UninstallScope.h"

#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/InstallPlanner.h"
#include "engine/Journal.h"
#include "engine/actions/DemandLoadKey.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/FileWrittenNew.h"
#include "engine/actions/FolderMade.h"
#include "engine/actions/MachineKeyMade.h"
#include "engine/actions/ProgramKey.h"
#include "engine/actions/TrustedPathsValue.h"
#include "engine/actions/UninstallerCopy.h"
#include "host/HostRegistrar.h"
#include "host/RegValueState.h"
#include "host/ReleaseTable.h"
#include "host/TrustedPathList.h"

namespace tx {

namespace {

// The names of a path or key, split at every '\' that is a character of
// its own (a trail byte 0x5C is part of its character).
std::vector<std::string> Names(const std::string& path, const CodePage& cp) {
    std::vector<std::string> names(1);
    for (std::size_t i = 0; i < path.size();) {
        const std::size_t len = cp.CharLength(path, i);
        if (len == 1 && path[i] == '\\')
            names.emplace_back();
        else
            names.back().append(path, i, len);
        i += len;
    }
    return names;
}

bool NoEmptyName(const std::vector<std::string>& names) {
    for (const std::string& n : names)
        if (n.empty()) return false;
    return true;
}

// names[from..] starts with the fixed names given, compared without case.
bool StartsWith(const std::vector<std::string>& names, std::size_t from,
                std::initializer_list<const char*> fixed, const CodePage& cp) {
    if (names.size() < from + fixed.size()) return false;
    std::size_t i = from;
    for (const char* f : fixed)
        if (!cp.EqualsNoCase(names[i++], f)) return false;
    return true;
}

// Below HKLM: how many names the AutoCAD tree takes (3 natively, 4 in the
// 32-bit view); 0 when the key is not in it.
std::size_t AcadTreeNames(const std::vector<std::string>& names, const CodePage& cp) {
    if (StartsWith(names, 0, {"SOFTWARE", "Autodesk", "AutoCAD"}, cp)) return 3;
    if (StartsWith(names, 0, {"SOFTWARE", "Wow6432Node", "Autodesk", "AutoCAD"}, cp)) return 4;
    return 0;
}

// A product key's Applications key, with `extra` names below it: the
// tree, the release and whatever leads to the product, then "Applications".
bool BelowApplications(const std::string& key, std::size_t extra, const CodePage& cp,
                       std::vector<std::string>* below) {
    std::vector<std::string> names = Names(key, cp);
    const std::size_t tree = AcadTreeNames(names, cp);
    if (tree == 0 || !NoEmptyName(names) || names.size() < tree + 2 + extra) return false;
    if (!cp.EqualsNoCase(names[names.size() - 1 - extra], "Applications")) return false;
    below->assign(names.end() - static_cast<std::ptrdiff_t>(extra), names.end());
    return true;
}

bool DemandLoadName(const std::string& name, const CodePage& cp) {
    for (const Release& r : kReleases) {
        const std::string subkey = HostRegistrar::DemandLoadSubkey(r.year);
        const std::size_t slash = subkey.rfind('\\');
        if (cp.EqualsNoCase(name, subkey.substr(slash + 1))) return true;
    }
    return false;
}

// Software\Autodesk\AutoCAD\<release>\<product>\Profiles\<profile>\Variables.
bool ProfileVariablesKey(const std::string& key, const CodePage& cp) {
    const std::vector<std::string> names = Names(key, cp);
    return names.size() == 8 && NoEmptyName(names) &&
           StartsWith(names, 0, {"Software", "Autodesk", "AutoCAD"}, cp) &&
           cp.EqualsNoCase(names[5], "Profiles") && cp.EqualsNoCase(names[7], "Variables");
}

bool ProgramKeyPath(const std::string& path, const CodePage& cp) {
    return cp.EqualsNoCase(path, kUninstallKey) || cp.EqualsNoCase(path, kActiveSetupKey) ||
           cp.EqualsNoCase(path, std::string(kCurrentUserPrefix) + kActiveSetupKey);
}

// A name Windows reads as written: no trailing dot or space, no character
// a file name cannot hold, not "." or "..".
bool PlainName(const std::string& name, const CodePage& cp) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t len = cp.CharLength(name, i);
        if (len == 1) {
            const unsigned char c = static_cast<unsigned char>(name[i]);
            if (c < 0x20 || std::strchr("\"*/:<>?|", c) != nullptr) return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

bool CleanupAllowed(IFileSystem& fs, const CodePage& codePage, const std::string& parentImage,
                    const std::string& ownImage, const std::string& image,
                    const std::vector<std::string>& folders) {
    const auto identity = [&](const std::string& path, FileId* id) {
        return !path.empty() && static_cast<bool>(fs.FileIdentity(path, id));
    };
    const auto folderOf = [&](const std::string& path) {
        const std::size_t slash = codePage.LastBackslash(path);
        return slash == CodePage::npos ? std::string() : path.substr(0, slash);
    };
    FileId parent, target, uninstaller;
    const std::string folder = folderOf(image);
    if (!identity(parentImage, &parent) || !identity(image, &target) || parent != target ||
        !identity(folder + "\\" + kUninstallerName, &uninstaller) || uninstaller != target)
        return false;
    std::string parentBytes, ownBytes;
    if (!fs.ReadWholeFile(parentImage, &parentBytes) || !fs.ReadWholeFile(ownImage, &ownBytes) ||
        parentBytes.empty() || parentBytes != ownBytes)
        return false;
    FileId installation, chosen;
    const bool hasInstallation = identity(folder, &installation);
    const bool hasChosen = identity(folderOf(folder), &chosen);
    for (const std::string& f : folders) {
        FileId id;
        if (!identity(f, &id)) return false;
        if (!(hasInstallation && id == installation) && !(hasChosen && id == chosen)) return false;
    }
    return true;
}

UninstallScope::UninstallScope(IFileSystem& fs, IRegistry& registry, const IWideText& wide,
                               const CodePage& codePage, std::string installFolder)
    : reg_(registry), wide_(wide), cp_(codePage), folder_(std::move(installFolder)),
      own_(fs, codePage, folder_) {}

bool UninstallScope::FolderRegistered() {
    const RegValueState v =
        ReadValueState(reg_, kHkeyLocalMachine, kUninstallKey, "InstallLocation");
    WideString folder;
    if (!v.valueExists || !IsTextType(v.type) || !wide_.ToWide(folder_, &folder) || folder.empty())
        return false;
    return wide_.UpperWide(TrustedPathList::Body(UnpackUtf16(v.data))) == wide_.UpperWide(folder);
}

bool UninstallScope::WellFormed(const std::string& path) const {
    const std::vector<std::string> names = Names(path, cp_);
    const std::string& drive = names[0];
    const char d = drive.empty() ? '\0' : drive[0];
    const bool letter =
        drive.size() == 2 && drive[1] == ':' && ((d >= 'A' && d <= 'Z') || (d >= 'a' && d <= 'z'));
    if (!letter || names.size() < 2) return false;
    for (std::size_t i = 1; i < names.size(); ++i)
        if (!PlainName(names[i], cp_)) return false;
    return true;
}

bool UninstallScope::Inside(const std::string& path, const std::string& folder) const {
    const std::string prefix = folder + "\\";
    return path.size() > prefix.size() && WellFormed(path) &&
           cp_.EqualsNoCase(path.substr(0, prefix.size()), prefix);
}

bool UninstallScope::SupportFile(const std::string& path) const {
    if (!WellFormed(path)) return false;
    const std::vector<std::string> names = Names(path, cp_);
    if (names.size() < 4) return false;
    const std::string& in = names[names.size() - 2];
    const std::string& name = names.back();
    return (cp_.EqualsNoCase(in, "Fonts") &&
            (cp_.EqualsNoCase(name, "Tarnix_EN.shx") || cp_.EqualsNoCase(name, "Tarnix_HZ.shx"))) ||
           (cp_.EqualsNoCase(in, "Drv") && cp_.EqualsNoCase(name, "pdfplot9.hdi"));
}

UninstallScope::Verdict UninstallScope::JudgeFile(const std::string& path) {
    if (Inside(path, folder_)) return own_.Holds(path) ? Verdict::OwnFile : Verdict::Ours;
    // Not even its trimmed name reaches ours outside the folder; an
    // identity still may (a short name of a folder on the way).
    if (own_.Holds(path)) return Verdict::OwnFile;
    return SupportFile(path) ? Verdict::Ours : Verdict::Outside;
}

UninstallScope::Verdict UninstallScope::Judge(const Action& action) {
    const std::string backups = folder_ + "\\" + kBackupFolderName;
    if (const auto* f = dynamic_cast<const FileWrittenNew*>(&action)) return JudgeFile(f->Target());
    if (const auto* f = dynamic_cast<const FileReplaced*>(&action)) {
        const Verdict target = JudgeFile(f->Target());
        return Inside(f->Backup(), backups) ? target : Verdict::Outside;
    }
    if (const auto* u = dynamic_cast<const UninstallerCopy*>(&action)) {
        const bool ours = cp_.EqualsNoCase(u->Path(), folder_ + "\\" + kUninstallerName) &&
                          (u->Backup().empty() || Inside(u->Backup(), backups));
        return ours ? Verdict::Ours : Verdict::Outside;
    }
    if (const auto* d = dynamic_cast<const FolderMade*>(&action)) {
        const std::string& path = d->Path();
        // The folder, or a level above it: removed only when empty.
        const bool level = WellFormed(path) && (cp_.EqualsNoCase(path, folder_) ||
                                                Inside(folder_, path));
        return level || Inside(path, folder_) ? Verdict::Ours : Verdict::Outside;
    }
    std::vector<std::string> below;
    if (const auto* k = dynamic_cast<const MachineKeyMade*>(&action))
        return BelowApplications(k->Path(), 0, cp_, &below) ? Verdict::Ours : Verdict::Outside;
    if (const auto* d = dynamic_cast<const DemandLoadKey*>(&action)) {
        const bool ours =
            BelowApplications(d->Path(), 1, cp_, &below) && DemandLoadName(below[0], cp_);
        return ours ? Verdict::Ours : Verdict::Outside;
    }
    if (const auto* t = dynamic_cast<const TrustedPathsValue*>(&action))
        return ProfileVariablesKey(t->Key(), cp_) ? Verdict::Ours : Verdict::Outside;
    if (const auto* p = dynamic_cast<const ProgramKey*>(&action))
        return ProgramKeyPath(p->Path(), cp_) ? Verdict::Ours : Verdict::Outside;
    return Verdict::Outside;
}

}  // namespace tx
