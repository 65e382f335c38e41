#include "deploy/Uninstaller.h"

#include <algorithm>
#include <cstring>

#include "deploy/Deployment.h"
#include "host/InstallJournal.h"

namespace tx {

const char* const kUninstallCaption = "Tarnix软件卸载";
const char* const kUninstallCloseAcad = "请关闭AutoCAD后再进行卸载 !";
const char* const kUninstallConfirm = "确定要卸载Tarnix批打印软件吗？";
const char* const kUninstallDone = "Tarnix批打印软件已成功卸载 !";
const char* const kUninstallDamaged = "卸载信息已损坏，无法卸载 !";

namespace {

enum class Outcome { Done, AtRestart, Failed };

constexpr const char* kTrustedPaths = "TRUSTEDPATHS";

// --- TRUSTEDPATHS as UTF-16 code units ----------------------------------

using Units = std::u16string;

Units ToUnits(const std::vector<unsigned char>& data) {
    Units u;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2)
        u.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    return u;
}

std::vector<unsigned char> FromUnits(const Units& u) {
    std::vector<unsigned char> data;
    for (char16_t c : u) {
        data.push_back(static_cast<unsigned char>(c & 0xFF));
        data.push_back(static_cast<unsigned char>(c >> 8));
    }
    return data;
}

// The text without its terminating NULs, and how many there were.
Units Body(const Units& u, std::size_t* nuls) {
    std::size_t end = u.size();
    while (end > 0 && u[end - 1] == 0) --end;
    if (nuls != nullptr) *nuls = u.size() - end;
    return u.substr(0, end);
}

std::vector<Units> Entries(const Units& body) {
    std::vector<Units> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = body.find(u';', start);
        out.push_back(body.substr(start, semi == Units::npos ? Units::npos : semi - start));
        if (semi == Units::npos) return out;
        start = semi + 1;
    }
}

// One entry as a folder: surrounding quotes and one trailing '\' dropped,
// Latin letters without case (the installation writes the list upper-cased).
Units Folded(Units e) {
    if (e.size() >= 2 && e.front() == u'"' && e.back() == u'"') e = e.substr(1, e.size() - 2);
    if (!e.empty() && e.back() == u'\\') e.pop_back();
    for (char16_t& c : e)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return e;
}

bool IsText(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz; }

}  // namespace

bool Uninstaller::IsAcadRunning() {
    return Deployer(fs_, procs_, mb_, cp_).IsAcadRunning();
}

bool Uninstaller::InInstallFolder(const std::string& path) const {
    const std::string prefix = record_.installFolder + "\\";
    return path.size() > prefix.size() && cp_.EqualsNoCase(path.substr(0, prefix.size()), prefix);
}

bool Uninstaller::ContainsImage(const std::string& folder) const {
    const std::string prefix = folder + "\\";
    return image_.size() > prefix.size() &&
           cp_.EqualsNoCase(image_.substr(0, prefix.size()), prefix);
}

bool Uninstaller::RemoveDemandLoad(const RecordedDemandLoad& entry) {
    {
        UniqueRegKey key(reg_);
        const long rc = reg_.OpenKeyRead(kHkeyLocalMachine, entry.key.c_str(), key.put());
        if (rc == kRegNotFound) return true;
        if (rc != kRegOk || !key) return false;
        std::vector<unsigned char> buffer(2048, 0);
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size() - 1);
        std::uint32_t type = 0;
        if (reg_.QueryValue(key.get(), "LOADER", &type, buffer.data(), &size) != kRegOk)
            return true;  // no LOADER of ours: not ours any more
        std::string loader(reinterpret_cast<const char*>(buffer.data()));
        if (loader.size() >= 2 && loader.front() == '"' && loader.back() == '"')
            loader = loader.substr(1, loader.size() - 2);
        const std::size_t slash = cp_.LastBackslash(loader);
        // Another installation has rewritten it since: it is that one's now.
        if (slash == CodePage::npos ||
            !cp_.EqualsNoCase(loader.substr(0, slash), record_.installFolder))
            return true;
    }
    const long rc = reg_.DeleteKey(kHkeyLocalMachine, entry.key.c_str());
    return rc == kRegOk || rc == kRegNotFound;
}

bool Uninstaller::RemoveMachineKey(const std::string& path) {
    {
        UniqueRegKey key(reg_);
        const long rc = reg_.OpenKeyRead(kHkeyLocalMachine, path.c_str(), key.put());
        if (rc == kRegNotFound) return true;
        if (rc != kRegOk || !key) return false;
        std::uint32_t subkeys = 1;
        std::uint32_t values = 1;
        if (reg_.QuerySubkeyCount(key.get(), &subkeys) != kRegOk ||
            reg_.QueryValueCount(key.get(), &values) != kRegOk)
            return false;
        // Something else lives there now: the key is no longer only ours.
        if (subkeys != 0 || values != 0) return true;
    }
    const long rc = reg_.DeleteKey(kHkeyLocalMachine, path.c_str());
    return rc == kRegOk || rc == kRegNotFound;
}

bool Uninstaller::NamesAnotherFolder(const std::string& entry) {
    const std::size_t prefix = std::strlen(kCurrentUserPrefix);
    const bool user = entry.compare(0, prefix, kCurrentUserPrefix) == 0;
    const std::string path = entry.substr(user ? prefix : 0);
    WideString folder;
    if (!wide_.ToWide(record_.installFolder, &folder) || folder.empty()) return false;
    const WideString ours = wide_.UpperWide(folder);
    for (const char* name : {"InstallLocation", "StubPath"}) {
        const RegValueState v =
            ReadValueState(reg_, user ? kHkeyCurrentUser : kHkeyLocalMachine, path, name);
        if (!v.valueExists || !IsText(v.type)) continue;
        Units text = ToUnits(v.data);
        while (!text.empty() && text.back() == u'\0') text.pop_back();
        text = wide_.UpperWide(text);
        if (std::string(name) == "InstallLocation") return Folded(text) != Folded(ours);
        return text.find(ours + u"\\") == Units::npos;
    }
    return false;
}

bool Uninstaller::RestoreTrustedPaths(const RecordedTrustedPaths& entry) {
    const RegValueState now = ReadValueState(reg_, kHkeyCurrentUser, entry.key, kTrustedPaths);
    if (!now.valueExists) return true;  // the user removed it: nothing of ours is left

    UniqueRegKey key(reg_);
    if (reg_.OpenKey(kHkeyCurrentUser, entry.key.c_str(), key.put()) != kRegOk || !key)
        return false;

    if (now == entry.written) {
        // Untouched since: back to exactly what was there.
        if (entry.before.valueExists) {
            return reg_.SetValueWide(key.get(), kTrustedPaths, entry.before.type,
                                     entry.before.data.data(),
                                     static_cast<std::uint32_t>(entry.before.data.size())) ==
                   kRegOk;
        }
        const long rc = reg_.DeleteValue(key.get(), kTrustedPaths);
        if (rc != kRegOk && rc != kRegNotFound) return false;
        if (!entry.before.keyExists) {
            std::uint32_t subkeys = 1;
            std::uint32_t values = 1;
            if (reg_.QuerySubkeyCount(key.get(), &subkeys) == kRegOk &&
                reg_.QueryValueCount(key.get(), &values) == kRegOk && subkeys == 0 && values == 0) {
                key.reset();
                reg_.DeleteKey(kHkeyCurrentUser, entry.key.c_str());
            }
        }
        return true;
    }

    // Changed since: only this installation folder's entry goes. Compared
    // as the installation wrote it, upper-cased by the system (an entry of
    // the user's, "D:\Ångström" say, is no entry of ours in any case).
    if (!IsText(now.type)) return true;
    WideString folder;
    if (!wide_.ToWide(record_.installFolder, &folder) || folder.empty()) return true;
    const Units ours = Folded(wide_.UpperWide(folder));
    std::size_t nuls = 0;
    const std::vector<Units> current = Entries(Body(ToUnits(now.data), &nuls));
    Units kept;
    bool removed = false;
    bool first = true;
    for (const Units& e : current) {
        if (Folded(wide_.UpperWide(e)) == ours) {
            removed = true;
            continue;
        }
        if (!first) kept += u';';
        kept += e;
        first = false;
    }
    if (!removed) return true;
    kept.append(std::max<std::size_t>(nuls, 1), u'\0');
    const std::vector<unsigned char> data = FromUnits(kept);
    return reg_.SetValueWide(key.get(), kTrustedPaths, now.type, data.data(),
                             static_cast<std::uint32_t>(data.size())) == kRegOk;
}

namespace {

constexpr const char* kRestoreSuffix = ".tarnix-restore";

// Deletes one file; one in use is left to the next restart.
Outcome DeleteOrSchedule(IFileSystem& fs, const std::string& path) {
    const std::uint32_t attributes = fs.GetAttributes(path);
    if (attributes == kInvalidAttributes) return Outcome::Done;
    if ((attributes & kAttrDirectory) != 0) return Outcome::Done;  // not a file of ours
    if ((attributes & kAttrReadOnly) != 0) fs.SetAttributes(path, attributes & ~kAttrReadOnly);
    if (fs.DeleteFile(path)) return Outcome::Done;
    if (fs.MoveFileAtRestart(path, std::string())) return Outcome::AtRestart;
    return Outcome::Failed;
}

Outcome UndoOne(IFileSystem& fs, const RecordedFile& file) {
    if (file.backup.empty()) return DeleteOrSchedule(fs, file.path);
    // No backup left: it was put back by an earlier run.
    if (fs.GetAttributes(file.backup) == kInvalidAttributes) return Outcome::Done;
    // Installed files keep the attributes of their source, hidden ones too.
    ClearForOverwrite(fs, file.path);
    if (fs.CopyFile(file.backup, file.path)) return DeleteOrSchedule(fs, file.backup);
    // In use: a copy beside it takes its place at the restart. The restart
    // can only rename within a volume, and the backups may be on another
    // drive than AutoCAD.
    const std::string staged = file.path + kRestoreSuffix;
    ClearForOverwrite(fs, staged);
    if (fs.CopyFile(file.backup, staged) && fs.MoveFileAtRestart(staged, file.path)) {
        fs.MoveFileAtRestart(file.backup, std::string());
        return Outcome::AtRestart;
    }
    return Outcome::Failed;
}

}  // namespace

int Uninstaller::Run(bool silent) {
    image_ = fs_.ModulePath();
    const std::size_t slash = cp_.LastBackslash(image_);
    const std::string folder = slash == CodePage::npos ? std::string() : image_.substr(0, slash);
    const std::string recordPath = folder + "\\" + kRecordFileName;

    std::string text;
    const bool readable = !folder.empty() && fs_.ReadWholeFile(recordPath, &text) &&
                          ParseRecord(text, cp_, &record_) &&
                          cp_.EqualsNoCase(record_.installFolder, folder);
    if (!readable) {
        if (!silent) mb_.Show(kUninstallDamaged, kUninstallCaption, kMbOk | kMbIconStop);
        return kExitFailed;
    }

    while (IsAcadRunning()) {
        if (silent) return kExitHostRunning;
        if (mb_.Show(kUninstallCloseAcad, kUninstallCaption, kMbRetryCancel | kMbIconExclamation) !=
            kIdRetry)
            return kExitCancelled;
    }
    if (!silent &&
        mb_.Show(kUninstallConfirm, kUninstallCaption, kMbYesNo | kMbIconQuestion) != kIdYes)
        return kExitCancelled;

    // What is not done stays in the record, for a second uninstall.
    InstallRecord left;
    left.installFolder = record_.installFolder;
    bool failed = false;
    auto settle = [&](Outcome o) {
        if (o == Outcome::Failed) failed = true;
        if (o == Outcome::AtRestart) restartPending_ = true;
        return o != Outcome::Done;
    };
    auto done = [](bool ok) { return ok ? Outcome::Done : Outcome::Failed; };

    for (const RecordedDemandLoad& d : record_.demandLoads)
        if (settle(done(RemoveDemandLoad(d)))) left.demandLoads.push_back(d);
    for (auto k = record_.machineKeys.rbegin(); k != record_.machineKeys.rend(); ++k)
        if (settle(done(RemoveMachineKey(*k)))) left.machineKeys.insert(left.machineKeys.begin(), *k);
    for (const RecordedTrustedPaths& t : record_.trustedPaths)
        if (settle(done(RestoreTrustedPaths(t)))) left.trustedPaths.push_back(t);

    // AutoCAD's folders first, then the installation folder.
    for (int pass = 0; pass < 2; ++pass) {
        for (const RecordedFile& f : record_.files) {
            if (InInstallFolder(f.path) != (pass == 1)) continue;
            if (cp_.EqualsNoCase(f.path, image_)) continue;
            if (settle(UndoOne(fs_, f))) left.files.push_back(f);
        }
    }

    std::vector<std::string> imageFolders;  // deepest first
    for (auto f = record_.folders.rbegin(); f != record_.folders.rend(); ++f) {
        if (ContainsImage(*f)) {
            imageFolders.push_back(*f);
            continue;
        }
        if (fs_.GetAttributes(*f) == kInvalidAttributes || fs_.RemoveDirectory(*f)) continue;
        // Emptied at the restart, or holding what someone else put there.
        // A failed file keeps its folder for the second run.
        const bool scheduled = restartPending_ && fs_.MoveFileAtRestart(*f, std::string());
        if (scheduled || failed) left.folders.insert(left.folders.begin(), *f);
    }

    if (!failed) {
        // Every installation writes the same keys: one in another folder
        // since has made them its own, and its user's copy goes with them.
        std::vector<bool> others;
        for (const std::string& e : record_.uninstallEntries) others.push_back(NamesAnotherFolder(e));
        const bool takenOver = std::find(others.begin(), others.end(), true) != others.end();
        for (std::size_t i = 0; i < record_.uninstallEntries.size(); ++i) {
            const std::string& e = record_.uninstallEntries[i];
            const std::size_t prefix = std::strlen(kCurrentUserPrefix);
            const bool user = e.compare(0, prefix, kCurrentUserPrefix) == 0;
            if (others[i] || (user && takenOver)) continue;
            const long rc = reg_.DeleteKey(user ? kHkeyCurrentUser : kHkeyLocalMachine,
                                           e.c_str() + (user ? prefix : 0));
            if (rc != kRegOk && rc != kRegNotFound) {
                failed = true;
                left.uninstallEntries.push_back(e);
            }
        }
    } else {
        left.uninstallEntries = record_.uninstallEntries;
    }

    if (failed || restartPending_) {
        // The record now says what is left; the program stays with it.
        left.uninstaller = record_.uninstaller;
        left.folders.insert(left.folders.end(), imageFolders.rbegin(), imageFolders.rend());
        const bool written = fs_.WriteWholeFile(recordPath, FormatRecord(left));
        if (failed || !written) return kExitFailed;
        // Everything else goes at the restart, after what it waits for.
        fs_.MoveFileAtRestart(recordPath, std::string());
        fs_.MoveFileAtRestart(image_, std::string());
        for (const std::string& f : imageFolders) fs_.MoveFileAtRestart(f, std::string());
        if (!silent) mb_.Show(kUninstallDone, kUninstallCaption, kMbOk);
        return kExitRestart;
    }

    const Outcome recordGone = DeleteOrSchedule(fs_, recordPath);
    if (recordGone == Outcome::Failed) return kExitFailed;
    int result = recordGone == Outcome::AtRestart ? kExitRestart : kExitDone;
    if (!self_.RemoveAfterExit(image_, imageFolders)) {
        // At the latest the next restart removes them.
        bool scheduled = fs_.MoveFileAtRestart(image_, std::string());
        for (const std::string& f : imageFolders)
            scheduled = fs_.MoveFileAtRestart(f, std::string()) && scheduled;
        result = scheduled ? kExitRestart : kExitFailed;
    }
    if (!silent && result != kExitFailed) mb_.Show(kUninstallDone, kUninstallCaption, kMbOk);
    return result;
}

}  // namespace tx
