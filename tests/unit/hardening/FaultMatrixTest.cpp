// A whole installation on the in-memory registry and file system, run once
// cleanly and then once more for every registry, file and process operation
// it makes, with that one operation failing: through the setup dialog with
// each answer to a failed copy, and as a silent run. Every run must end as
// the installer's rules say for that failure: no handle or listing left
// open, no TRUSTEDPATHS entry lost, nothing changed beyond what the failing
// operation touched, and a cancelled installation leaves the machine as it
// was. A silent run is all or nothing: it completes, or the machine is
// exactly as before it. The literals below are compiled to code page 936
// bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "deploy/ExitStatus.h"
#include "engine/CommandLine.h"
#include "engine/InstallEngine.h"
#include "engine/Journal.h"
#include "engine/UnattendedRuns.h"
#include "engine/UninstallRun.h"
#include "engine/actions/FileReplaced.h"
#include "engine/actions/UninstallerCopy.h"
#include "host/AcadDetector.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeFolderSecurity.h"
#include "tests/fakes/FakeProcessList.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeSelfRemover.h"
#include "tests/fakes/FakeSetupView.h"
#include "tests/fakes/FakeUserIo.h"
#include "tests/fakes/FakeWideText.h"
#include "tests/fakes/MemoryLog.h"
#include "ui/SetupDialog.h"

namespace tx {
namespace {

const CodePage kGbk(936);
constexpr RegRoot kHklm = RegRoot::LocalMachine;
constexpr RegRoot kHkcu = RegRoot::CurrentUser;

// --- Counting and failing operations -----------------------------------

struct Op {
    std::string kind;
    std::string scope;  // the key or path it addressed; "" for everything
    std::string base;   // for opening or creating by path: the key it starts from
};

// Numbers every operation of a run; the one numbered failAt fails.
class FaultPlan {
public:
    explicit FaultPlan(long failAt) : failAt_(failAt) {}
    bool Fails(const char* kind, std::string scope, std::string base = std::string()) {
        ops_.push_back({kind, std::move(scope), std::move(base)});
        return static_cast<long>(ops_.size()) - 1 == failAt_;
    }
    const std::vector<Op>& Ops() const { return ops_; }

private:
    long failAt_;
    std::vector<Op> ops_;
};

std::string Join(const std::string& parent, const char* sub) {
    std::string path = parent;
    if (sub != nullptr && *sub != '\0') path += std::string("\\") + sub;
    std::string out;
    for (char c : path) {
        if (c == '\\' && !out.empty() && out.back() == '\\') continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

class FaultyRegistry : public IRegistry {
public:
    FaultyRegistry(IRegistry& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}

    long OpenRoot(RegRoot root, RegHandle* out) override {
        const std::string path = root == kHklm ? "HKLM" : "HKCU";
        if (plan_.Fails("RegOpenKeyA (root)", path)) return Refuse(out);
        return Track(inner_.OpenRoot(root, out), out, path);
    }
    long OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) override {
        const std::string path = Join(PathOf(parent), sub);
        if (plan_.Fails("RegOpenKeyExA", path)) return Refuse(out);
        return Track(inner_.OpenKeyRead(parent, sub, out), out, path);
    }
    long OpenKey(RegHandle parent, const char* path, RegHandle* out) override {
        const std::string full = Join(PathOf(parent), path);
        if (plan_.Fails("RegOpenKeyA", full, PathOf(parent))) return Refuse(out);
        return Track(inner_.OpenKey(parent, path, out), out, full);
    }
    long CreateKey(RegHandle parent, const char* path, RegHandle* out) override {
        const std::string full = Join(PathOf(parent), path);
        if (plan_.Fails("RegCreateKeyA", full, PathOf(parent))) return Refuse(out);
        return Track(inner_.CreateKey(parent, path, out), out, full);
    }
    long DeleteKey(RegHandle parent, const char* path) override {
        if (plan_.Fails("RegDeleteKeyA", Join(PathOf(parent), path))) return kRegAccessDenied;
        return inner_.DeleteKey(parent, path);
    }
    long QuerySubkeyCount(RegHandle key, std::uint32_t* count) override {
        if (plan_.Fails("RegQueryInfoKeyA", PathOf(key))) return kRegAccessDenied;
        return inner_.QuerySubkeyCount(key, count);
    }
    long EnumKey(RegHandle key, std::uint32_t index, char* name, std::uint32_t* capacity) override {
        if (plan_.Fails("RegEnumKeyExA", PathOf(key))) return kRegAccessDenied;
        return inner_.EnumKey(key, index, name, capacity);
    }
    long QueryValue(RegHandle key, const char* name, std::uint32_t* type, unsigned char* data,
                    std::uint32_t* size) override {
        if (plan_.Fails("RegQueryValueExA", PathOf(key))) return kRegAccessDenied;
        return inner_.QueryValue(key, name, type, data, size);
    }
    long SetValue(RegHandle key, const char* name, std::uint32_t type, const unsigned char* data,
                  std::uint32_t size) override {
        if (plan_.Fails("RegSetValueExA", PathOf(key))) return kRegAccessDenied;
        return inner_.SetValue(key, name, type, data, size);
    }
    long QueryValueWide(RegHandle key, const char* name, std::uint32_t* type, unsigned char* data,
                        std::uint32_t* size) override {
        if (plan_.Fails("RegQueryValueExW", PathOf(key))) return kRegAccessDenied;
        return inner_.QueryValueWide(key, name, type, data, size);
    }
    long SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                      const unsigned char* data, std::uint32_t size) override {
        if (plan_.Fails("RegSetValueExW", PathOf(key))) return kRegAccessDenied;
        return inner_.SetValueWide(key, name, type, data, size);
    }
    void CloseKey(RegHandle key) override {
        paths_.erase(key);
        inner_.CloseKey(key);
    }
    long DeleteValue(RegHandle key, const char* name) override {
        if (plan_.Fails("RegDeleteValueA", PathOf(key))) return kRegAccessDenied;
        return inner_.DeleteValue(key, name);
    }
    long QueryValueCount(RegHandle key, std::uint32_t* count) override {
        if (plan_.Fails("RegQueryInfoKeyA (values)", PathOf(key))) return kRegAccessDenied;
        return inner_.QueryValueCount(key, count);
    }
    long EnumValueWide(RegHandle key, std::uint32_t index, std::string* name, std::uint32_t* type,
                       std::vector<unsigned char>* data) override {
        if (plan_.Fails("RegEnumValueW", PathOf(key))) return kRegAccessDenied;
        return inner_.EnumValueWide(key, index, name, type, data);
    }

    std::size_t Tracked() const { return paths_.size(); }

private:
    static long Refuse(RegHandle* out) {
        if (out != nullptr) *out = 0;
        return kRegAccessDenied;
    }
    long Track(long rc, RegHandle* out, const std::string& path) {
        if (rc == kRegOk && out != nullptr && *out != 0 && *out != kHkeyLocalMachine &&
            *out != kHkeyCurrentUser)
            paths_[*out] = path;
        return rc;
    }
    std::string PathOf(RegHandle key) const {
        if (key == kHkeyLocalMachine) return "HKLM";
        if (key == kHkeyCurrentUser) return "HKCU";
        auto it = paths_.find(key);
        return it == paths_.end() ? "?" : it->second;
    }

    IRegistry& inner_;
    FaultPlan& plan_;
    std::map<RegHandle, std::string> paths_;
};

class FaultyFind : public IFindHandle {
public:
    FaultyFind(std::unique_ptr<IFindHandle> inner, FaultPlan& plan, std::string folder)
        : inner_(std::move(inner)), plan_(plan), folder_(std::move(folder)) {}
    bool Next(FindEntry* entry) override {
        if (plan_.Fails("FindNextFileA", folder_)) return false;
        return inner_->Next(entry);
    }

private:
    std::unique_ptr<IFindHandle> inner_;
    FaultPlan& plan_;
    std::string folder_;
};

class FaultyFileSystem : public IFileSystem {
public:
    FaultyFileSystem(IFileSystem& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}

    std::string ModulePath() override {
        if (Fail("GetModuleFileNameA", "")) return std::string();
        return inner_.ModulePath();
    }
    std::unique_ptr<IFindHandle> FindFirst(const std::string& pattern, FindEntry* first) override {
        const std::size_t slash = kGbk.LastBackslash(pattern);
        // A listing ("<folder>\*.*") reaches what lies in the folder; any
        // other pattern names one entry.
        const bool listing =
            pattern.size() > 4 && pattern.compare(pattern.size() - 4, 4, "\\*.*") == 0;
        const std::string scope =
            listing && slash != CodePage::npos ? pattern.substr(0, slash) : pattern;
        if (Fail(listing ? "FindFirstFileA *.*" : "FindFirstFileA", scope)) return nullptr;
        std::unique_ptr<IFindHandle> inner = inner_.FindFirst(pattern, first);
        if (!inner) return nullptr;
        return std::make_unique<FaultyFind>(std::move(inner), plan_, scope);
    }
    std::uint32_t GetAttributes(const std::string& path) override {
        if (Fail("GetFileAttributesA", path)) return kInvalidAttributes;
        return inner_.GetAttributes(path);
    }
    OsResult SetAttributes(const std::string& path, std::uint32_t attributes) override {
        if (Fail("SetFileAttributesA", path)) return Denied();
        return inner_.SetAttributes(path, attributes);
    }
    OsResult CopyFile(const std::string& source, const std::string& target) override {
        if (Fail("CopyFileA", target)) return Denied();
        return inner_.CopyFile(source, target);
    }
    OsResult CreateDirectory(const std::string& path) override {
        if (Fail("CreateDirectoryA", path)) return Denied();
        return inner_.CreateDirectory(path);
    }
    std::uint32_t GetEnvironmentVariable(const char* name, char* buffer,
                                         std::uint32_t capacity) override {
        if (Fail("GetEnvironmentVariableA", name)) return 0;
        return inner_.GetEnvironmentVariable(name, buffer, capacity);
    }
    std::string CurrentDirectory() override {
        if (Fail("GetCurrentDirectoryA", "")) return std::string();
        return inner_.CurrentDirectory();
    }
    OsResult RoamingAppDataFolder(std::string* folder) override {
        if (Fail("SHGetFolderPathA", "")) return Denied();
        return inner_.RoamingAppDataFolder(folder);
    }
    OsResult DeleteFile(const std::string& path) override {
        if (Fail("DeleteFileA", path)) return Denied();
        return inner_.DeleteFile(path);
    }
    OsResult RemoveDirectory(const std::string& path) override {
        if (Fail("RemoveDirectoryA", path)) return Denied();
        return inner_.RemoveDirectory(path);
    }
    OsResult ReadWholeFile(const std::string& path, std::string* content) override {
        if (Fail("ReadFile", path)) return Denied();
        return inner_.ReadWholeFile(path, content);
    }
    OsResult WriteWholeFile(const std::string& path, const std::string& content) override {
        if (Fail("WriteFile", path)) return Denied();
        return inner_.WriteWholeFile(path, content);
    }
    OsResult ReadProgramImage(std::string* content) override {
        if (Fail("ReadFile (program image)", inner_.ModulePath())) return Denied();
        return inner_.ReadProgramImage(content);
    }
    OsResult AppendToFile(const std::string& path, const std::string& text) override {
        if (Fail("WriteFile (append)", path)) return Denied();
        return inner_.AppendToFile(path, text);
    }
    OsResult MoveFileAtRestart(const std::string& from, const std::string& to) override {
        if (Fail("MoveFileExA", from)) return Denied();
        return inner_.MoveFileAtRestart(from, to);
    }
    OsResult RestartOperationPaths(std::vector<std::string>* paths) override {
        if (Fail("RegGetValueW", "PendingFileRenameOperations")) return Denied();
        return inner_.RestartOperationPaths(paths);
    }
    OsResult FileSize(const std::string& path, std::uint64_t* size) override {
        if (Fail("GetFileAttributesExA", path)) return Denied();
        return inner_.FileSize(path, size);
    }
    OsResult FlushFile(const std::string& path) override {
        if (Fail("FlushFileBuffers", path)) return Denied();
        return inner_.FlushFile(path);
    }
    OsResult ReplaceFile(const std::string& from, const std::string& to) override {
        if (Fail("MoveFileExA (replace)", to)) return Denied();
        return inner_.ReplaceFile(from, to);
    }
    OsResult FileIdentity(const std::string& path, FileId* id) override {
        if (Fail("GetFileInformationByHandleEx", path)) return Denied();
        return inner_.FileIdentity(path, id);
    }
    OsResult HoldForReading(const std::string& path, std::unique_ptr<IHeldFile>* file) override {
        if (Fail("CreateFileW (held)", path)) return Denied();
        return inner_.HoldForReading(path, file);
    }
    OsResult CopyFromHeld(IHeldFile& source, const std::string& target) override {
        if (Fail("WriteFile (from held)", target)) return Denied();
        return inner_.CopyFromHeld(source, target);
    }

private:
    bool Fail(const char* kind, std::string scope) { return plan_.Fails(kind, std::move(scope)); }
    // The failing call says what Windows says for most of them.
    static OsResult Denied() { return OsResult::Fail(kErrorAccessDenied); }

    IFileSystem& inner_;
    FaultPlan& plan_;
};

class FaultyProcessList : public IProcessList {
public:
    FaultyProcessList(IProcessList& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}
    bool ExecutableNames(std::vector<std::string>* names) override {
        if (plan_.Fails("CreateToolhelp32Snapshot", "")) return false;
        return inner_.ExecutableNames(names);
    }

private:
    IProcessList& inner_;
    FaultPlan& plan_;
};

// Readying the installation folder: making a level, opening it, reading its
// owner and the user running the installer.
class FaultyFolderSecurity : public IFolderSecurity {
public:
    FaultyFolderSecurity(IFolderSecurity& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}
    MakeFolderResult MakeProtectedFolder(const std::string& path) override {
        if (plan_.Fails("CreateDirectoryA (protected)", path)) return MakeFolderResult::Failed;
        return inner_.MakeProtectedFolder(path);
    }
    std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path, FolderFacts* facts) override {
        if (plan_.Fails("CreateFileA (folder)", path)) {
            *facts = FolderFacts{};
            return nullptr;
        }
        std::unique_ptr<IHeldFolder> held = inner_.HoldFolder(path, facts);
        if (held && plan_.Fails("GetSecurityInfo", path)) facts->ownerSid.clear();
        return held;
    }
    std::unique_ptr<IHeldFolder> HoldUserFolder(const std::string& path,
                                                FolderFacts* facts) override {
        if (plan_.Fails("CreateFileA (user folder)", path)) {
            *facts = FolderFacts{};
            return nullptr;
        }
        return inner_.HoldUserFolder(path, facts);
    }
    bool InspectFolder(const std::string& path, FolderFacts* facts) override {
        if (plan_.Fails("CreateFileA (inspect)", path)) {
            *facts = FolderFacts{};
            return false;
        }
        return inner_.InspectFolder(path, facts);
    }
    std::string CurrentUserSid() override {
        if (plan_.Fails("GetTokenInformation", "")) return std::string();
        return inner_.CurrentUserSid();
    }

private:
    IFolderSecurity& inner_;
    FaultPlan& plan_;
};

// --- The machine before the installation -------------------------------

const std::string kNative = "SOFTWARE\\Autodesk\\AutoCAD\\";
const std::string kWow = "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\";
const std::string kData = "C:\\Pkg\\Data";
const std::string kAppData = "C:\\Users\\u\\AppData\\Roaming";
const std::string kChosenFolder = "C:\\Tarnix";
const std::string kInstallFolder = kChosenFolder + "\\Tarnix批打印软件";
const std::string kOldTrusted = "C:\\Program Files\\Autodesk\\ApplicationPlugins;D:\\Lisp\\...";
const std::string kMark = ":Zone.Identifier";

struct Installation {
    std::string tree;
    std::string key;  // below the tree
    std::string location;
    std::string product;
};

const Installation kInstallations[] = {
    {kWow, "R17.1\\ACAD-6001:804", "C:\\Program Files (x86)\\AutoCAD 2008",
     "AutoCAD 2008 - 简体中文"},
    {kNative, "R17.1\\ACAD-6001:804", "C:\\Program Files\\AutoCAD 2008", "AutoCAD 2008 - 简体中文"},
    {kNative, "R20.1\\ACAD-F001:804", "C:\\Program Files\\Autodesk\\AutoCAD 2016",
     "AutoCAD 2016 - 简体中文 (Simplified Chinese)"},
    {kNative, "R23.0\\ACAD-3001:804", "C:\\Program Files\\Autodesk\\AutoCAD 2019",
     "AutoCAD 2019 - 简体中文"},
    {kNative, "R23.0\\ACAD-3001:409", "D:\\AutoCAD 2019", "AutoCAD 2019 - English"},
};

// The TRUSTEDPATHS values seeded below HKEY_CURRENT_USER, by Variables key.
const std::vector<std::pair<std::string, std::string>>& SeededTrustedPaths() {
    static const std::vector<std::pair<std::string, std::string>> values = {
        {kNative + "R20.1\\ACAD-F001:804\\Profiles\\<<Unnamed Profile>>\\Variables", kOldTrusted},
        {kNative + "R20.1\\ACAD-F001:804\\Profiles\\Drafting\\Variables", ";"},
        {kNative + "R23.0\\ACAD-3001:409\\Profiles\\P\\Variables",
         "c:\\tarnix\\tarnix批打印软件;E:\\x"},
    };
    return values;
}

struct Machine {
    FakeRegistry reg{936};
    FakeFileSystem fs{936};
    FakeProcessList procs{std::vector<std::string>{"explorer.exe", "svchost.exe"}};

    Machine() {
        for (const Installation& i : kInstallations) {
            reg.SetString(kHklm, i.tree + i.key, "AcadLocation", i.location);
            reg.SetString(kHklm, i.tree + i.key, "ProductName", i.product);
        }
        // A product name without a folder: not an installation.
        reg.SetString(kHklm, kNative + "R24.3\\ACAD-7101:804", "ProductName", "AutoCAD 2024");
        // An earlier entry with a value of its own, which must go.
        const std::string old = kNative + "R20.1\\ACAD-F001:804\\Applications\\TX_BatchPlot2016";
        reg.SetString(kHklm, old, "LOADER", "D:\\Old\\TX_BatchPlot2015.ARX");
        reg.SetString(kHklm, old, "Stale", "x");

        for (const auto& [key, value] : SeededTrustedPaths()) reg.SetString(kHkcu, key, "TRUSTEDPATHS", value);
        reg.CreatePath(kHkcu, kNative + "R23.0\\ACAD-3001:804\\Profiles\\<<Unnamed Profile>>");
        // Parents that every Windows has.
        reg.CreatePath(kHklm, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
        reg.CreatePath(kHklm, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components");
        reg.CreatePath(kHkcu, "Software\\Microsoft\\Active Setup\\Installed Components");

        fs.AddFolder("C:\\");
        fs.SetModulePath("C:\\Pkg\\SetUp.exe");
        fs.AddFile("C:\\Pkg\\SetUp.exe", "program");
        for (const char* name : {"SetUp.EXE", "Tarnix.prt5", "Tarnix.prt7", "Tarnix.prt8",
                                 "Tarnix.Ini", "Tarnix_EN.shx", "Tarnix_HZ.shx",
                                 "TX_BatchPlot2008.ARX", "TX_BatchPlot2015.ARX",
                                 "TX_BatchPlot2019.ARX"})
            fs.AddFile(kData + "\\" + name, std::string("new ") + name);
        fs.AddFile(kData + "\\Tarnix.prt9", "new Tarnix.prt9", kAttrArchive | kAttrReadOnly);
        // Extracted from a downloaded zip: every file is marked.
        for (const std::string& name : fs.Children(kData))
            if (!fs.IsFolder(kData + "\\" + name)) fs.AddFile(kData + "\\" + name + kMark, "ZoneId=3");
        fs.AddFile(kData + "\\sub\\skipped.txt", "never deployed");
        fs.SetEnv("APPDATA", kAppData);
        fs.SetRoamingAppData(kAppData);
        fs.AddFile(kAppData + "\\Tarnix\\Tarnix.Ini", "old settings", kAttrArchive | kAttrReadOnly);

        fs.AddFolder(kInstallations[0].location + "\\Fonts");
        fs.AddFolder(kInstallations[0].location + "\\Drv");
        fs.AddFolder(kInstallations[1].location + "\\Fonts");
        fs.AddFile(kInstallations[2].location + "\\Fonts\\Tarnix_HZ.shx", "old font",
                   kAttrArchive | kAttrReadOnly);
        fs.AddFolder(kInstallations[3].location + "\\Fonts");
        // kInstallations[4] has no Fonts folder: its copies fail quietly.
    }
};

// --- What a machine holds ------------------------------------------------

const char kReadOnlyMark[] = " (read-only)";

std::string WithoutReadOnlyMark(const std::string& text) {
    const std::string mark = kReadOnlyMark;
    if (text.size() >= mark.size() && text.compare(text.size() - mark.size(), mark.size(), mark) == 0)
        return text.substr(0, text.size() - mark.size());
    return text;
}

std::string Hex(std::uint32_t n) {
    std::ostringstream out;
    out << std::hex << n;
    return out.str();
}

// The path an item lies at: a key (also for its values), a folder or a file.
std::string ItemPath(const std::string& item) {
    std::string path = item.substr(2);
    const std::size_t colon = path.find(" : ");
    return colon == std::string::npos ? path : path.substr(0, colon);
}

bool Below(const std::string& path, const std::string& scope) {
    const std::string s = kGbk.Lower(scope);
    if (s.empty()) return true;
    return path == s || (path.size() > s.size() && path.compare(0, s.size(), s) == 0 &&
                         path[s.size()] == '\\');
}

// Every key, value, folder and file, by a lower-cased path; the text says
// what it holds. Whole: values as stored, every attribute and stream of a
// file; otherwise values as the ANSI calls read them and only the
// read-only attribute (the marks are looked at apart).
using State = std::map<std::string, std::string>;

void WalkRegistry(const FakeRegistry& reg, RegRoot root, const std::string& label,
                  const std::string& path, bool whole, State& state) {
    const std::string shown = path.empty() ? label : label + "\\" + path;
    state["K " + kGbk.Lower(shown)] = "key";
    for (const std::string& name : reg.ValueNames(root, path)) {
        const auto v = whole ? reg.GetValueWide(root, path, name) : reg.GetValue(root, path, name);
        std::string text = std::to_string(v->type) + ":";
        text.append(v->data.begin(), v->data.end());
        state["V " + kGbk.Lower(shown) + " : " + kGbk.Lower(name)] = text;
    }
    for (const std::string& sub : reg.Subkeys(root, path))
        WalkRegistry(reg, root, label, path.empty() ? sub : path + "\\" + sub, whole, state);
}

void WalkFiles(const FakeFileSystem& fs, const std::string& folder, bool whole, State& state) {
    for (const std::string& name : fs.Children(folder)) {
        const std::string path = folder + "\\" + name;
        const std::uint32_t attributes = fs.Attributes(path);
        if ((attributes & kAttrDirectory) != 0) {
            state["D " + kGbk.Lower(path)] = whole ? "folder " + Hex(attributes) : "folder";
            WalkFiles(fs, path, whole, state);
        } else if (whole) {
            // Copying from the package makes its files writable first (a
            // read-only source would give a read-only copy); that is no
            // change to undo.
            const bool package = Below(kGbk.Lower(path), "C:\\Pkg");
            std::string text =
                fs.Content(path) + " " + Hex(package ? attributes & ~kAttrReadOnly : attributes);
            for (const std::string& stream : fs.StreamNames(path))
                text += " [" + stream + "=" + fs.Content(path + ":" + stream) + "]";
            state["F " + kGbk.Lower(path)] = text;
        } else {
            state["F " + kGbk.Lower(path)] =
                fs.Content(path) + ((attributes & kAttrReadOnly) != 0 ? kReadOnlyMark : "");
        }
    }
}

// Every file that carries the downloaded-from-the-internet mark.
void FindMarked(const FakeFileSystem& fs, const std::string& folder, std::set<std::string>& out) {
    for (const std::string& name : fs.Children(folder)) {
        const std::string path = folder + "\\" + name;
        if (fs.IsFolder(path)) {
            FindMarked(fs, path, out);
        } else if (fs.Exists(path + kMark)) {
            out.insert(path);
        }
    }
}

std::string JournalPath() { return kInstallFolder + "\\" + kJournalFileName; }

// The uninstall bookkeeping (the journal, the backups, the uninstaller and
// its Programs and Features entry) follows whatever happened, faults
// included; its own tests look at it. The comparisons with the clean run
// look at the rest.
bool Bookkeeping(const std::string& item) {
    const std::string folder = kGbk.Lower(kInstallFolder);
    const std::string path = ItemPath(item);
    const std::string journal = kGbk.Lower(JournalPath());
    return path == journal || path == journal + ".new" || path == folder + "\\uninstall.exe" ||
           Below(path, folder + "\\backup") ||
           Below(path, "hklm\\software\\microsoft\\windows\\currentversion\\uninstall\\tarnixbatchplot");
}

State Snapshot(const Machine& m, bool whole) {
    State state;
    WalkRegistry(m.reg, kHklm, "HKLM", "", whole, state);
    WalkRegistry(m.reg, kHkcu, "HKCU", "", whole, state);
    WalkFiles(m.fs, "C:", whole, state);
    WalkFiles(m.fs, "D:", whole, state);
    if (!whole)
        for (auto it = state.begin(); it != state.end();)
            it = Bookkeeping(it->first) ? state.erase(it) : std::next(it);
    return state;
}

// Equal, or the first differences.
::testing::AssertionResult SameState(const State& want, const State& got) {
    if (want == got) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    std::set<std::string> items;
    for (const State* s : {&want, &got})
        for (const auto& kv : *s) items.insert(kv.first);
    int shown = 0;
    for (const std::string& item : items) {
        const auto w = want.find(item);
        const auto g = got.find(item);
        if (w != want.end() && g != got.end() && w->second == g->second) continue;
        if (++shown > 8) break;
        failure << "\n  " << item << ": " << (w == want.end() ? "(none)" : w->second) << " -> "
                << (g == got.end() ? "(none)" : g->second);
    }
    return failure;
}

std::vector<std::string> Entries(const std::string& value) {
    std::vector<std::string> out;
    std::stringstream in(value);
    std::string entry;
    while (std::getline(in, entry, ';'))
        if (!entry.empty()) out.push_back(entry);
    return out;
}

// --- One installation ----------------------------------------------------

enum class Mode { Dialog, Silent };
enum class Answer { Abort, Retry, Ignore };

struct Outcome {
    std::vector<Op> ops;
    State before;  // bookkeeping left out
    State after;
    State wholeBefore;  // everything
    State wholeAfter;
    CAcadInfo info;
    // The dialog.
    Dlg_Setup::Stage stage = Dlg_Setup::Stage::Initial;
    std::vector<int> endResults;
    std::vector<FakeMessageBox::Call> boxes;
    int progress = 0;
    // The silent run.
    int exitCode = -1;
    std::vector<std::string> log;
    std::size_t regHandles = 0;
    std::size_t trackedHandles = 0;
    std::uint64_t badHandleUses = 0;
    int openListings = 0;
    std::vector<FakeFolderSecurity::Hold> holds;
    int heldAtEnd = 0;
    std::size_t copies = 0;
    std::vector<std::string> madeProtected;
    std::set<std::string> marked;
    // From the journal the run left: each backup with the file it keeps.
    std::map<std::string, std::string> backups;
    // After the uninstaller of a completed run ran to its end.
    int uninstallExit = -1;
    State wholeUninstalled;
};

Outcome Install(long failAt, Mode mode, Answer answer = Answer::Abort) {
    Machine m;
    Outcome run;
    run.before = Snapshot(m, false);
    run.wholeBefore = Snapshot(m, true);
    FaultPlan plan(failAt);
    FaultyRegistry reg(m.reg, plan);
    FaultyFileSystem fs(m.fs, plan);
    FaultyProcessList procs(m.procs, plan);
    FakeFolderSecurity realSecurity(m.fs);
    FaultyFolderSecurity security(realSecurity, plan);
    FakeWideText wide(936);
    MemoryLog log;

    // Start-up, then the dialog with its defaults and Install, or the
    // silent run with its defaults. Elevated, as SetUp.exe runs: the
    // settings folder's levels are held too.
    AcadDetector(reg, kGbk).DetectAcadReleases(run.info);
    EngineServices services(fs, reg, wide, kGbk, procs, security, log);
    services.userFolders = &security;
    services.installDate = "20240102";
    InstallEngine engine(services);
    if (mode == Mode::Silent) {
        CommandLine line;
        line.silent = true;
        run.exitCode = RunSilentInstall(line, run.info, engine, kGbk, log);
    } else {
        FakeSetupView view;
        if (answer == Answer::Retry) view.messages.Script({kIdRetry});
        if (answer == Answer::Ignore)
            for (int i = 0; i < 100; ++i) view.messages.Script({kIdIgnore});
        InstallRun once;
        {
            Dlg_Setup dlg(view, run.info, engine, kGbk, once);
            dlg.OnInitDialog();
            dlg.OnInstall();
            run.stage = dlg.CurrentStage();
        }
        run.endResults = view.endResults;
        run.boxes = view.messages.Calls();
        run.progress = view.progress.Pos();
    }

    run.ops = plan.Ops();
    run.log = log.Lines();
    run.after = Snapshot(m, false);
    run.wholeAfter = Snapshot(m, true);
    run.regHandles = m.reg.OpenHandles();
    run.trackedHandles = reg.Tracked();
    run.badHandleUses = m.reg.BadHandleUses();
    run.openListings = m.fs.OpenListings();
    run.holds = realSecurity.Holds();
    run.heldAtEnd = realSecurity.HeldNow();
    run.copies = m.fs.CopyCalls().size();
    run.madeProtected = realSecurity.Made();
    FindMarked(m.fs, "C:", run.marked);
    FindMarked(m.fs, "D:", run.marked);
    std::string text;
    JournalContent journal;
    if (m.fs.ReadWholeFile(JournalPath(), &text) && ParseJournal(text, &journal)) {
        for (const auto& a : journal.actions) {
            if (const auto* f = dynamic_cast<const FileReplaced*>(a.get()))
                run.backups[kGbk.Lower(f->Backup())] = f->Target();
            if (const auto* u = dynamic_cast<const UninstallerCopy*>(a.get()))
                if (!u->Backup().empty()) run.backups[kGbk.Lower(u->Backup())] = u->Path();
        }
    }
    // A completed run's uninstaller, with nothing failing.
    if (run.exitCode == kExitDone || run.stage == Dlg_Setup::Stage::Completed) {
        class Yes final : public IUninstallObserver {
        public:
            void JournalDamaged() override {}
            bool RetryWhileAcadRuns() override { return false; }
            bool ConfirmUninstall() override { return true; }
            void Done() override {}
        } yes;
        MemoryLog uninstallLog;
        FakeSelfRemover remover;
        m.fs.SetModulePath(kInstallFolder + "\\" + kUninstallerName);
        run.uninstallExit = UninstallRun(m.reg, m.fs, realSecurity, m.procs, remover, kGbk, wide, uninstallLog)
                                .Run(yes, true);
        remover.Exit(m.fs);
        run.wholeUninstalled = Snapshot(m, true);
    }
    return run;
}

bool IsCopyFailure(const FakeMessageBox::Call& box) { return box.style == kMbAbortRetryIgnore; }
bool IsFolderRefusal(const FakeMessageBox::Call& box) {
    return box.style == (kMbOk | kMbIconStop) &&
           (box.text == kUnsafeFolderMessage || box.text == kFolderNotMadeMessage);
}
bool IsNoDataFolder(const FakeMessageBox::Call& box) {
    return box.style == kMbOk && box.text == kNoDataFolderMessage;
}

bool IsJournal(const Op& op) {
    return kGbk.EqualsNoCase(op.scope, JournalPath()) ||
           kGbk.EqualsNoCase(op.scope, JournalPath() + ".new");
}

// Where the installation's own files go: the installation folder and the
// user's settings folder.
bool PayloadPlace(const std::string& path) {
    return Below(kGbk.Lower(path), kInstallFolder) || Below(kGbk.Lower(path), kAppData + "\\Tarnix");
}

// The scopes a failure may reach: what the operation addressed; for a
// failure while detecting, the entries and folders of the installations it
// hid; for a backup (or a folder above it), the file it keeps; for the
// journal, any change (the one whose line it was writing fails with it).
std::vector<std::string> ScopesOf(const Op& op, const Outcome& clean, const Outcome& run) {
    std::vector<std::string> scopes{op.scope};
    if (IsJournal(op)) scopes.push_back("");
    // Listing the Data folder feeds the payload's two target folders.
    if (kGbk.EqualsNoCase(op.scope, kData)) {
        scopes.push_back(kInstallFolder);
        scopes.push_back(kAppData + "\\Tarnix");
    }
    if (op.kind == "GetEnvironmentVariableA") scopes.push_back(kAppData + "\\Tarnix");
    for (const auto& [backup, target] : clean.backups)
        if (Below(backup, op.scope)) scopes.push_back(target);
    // A package file read whole is copied outside the installation folder:
    // into the settings folder and AutoCAD's.
    if (op.kind == "ReadFile" && Below(kGbk.Lower(op.scope), kData)) {
        scopes.push_back(kAppData + "\\Tarnix");
        for (const StringList& locations : clean.info.m_arrAcadLocation)
            scopes.insert(scopes.end(), locations.begin(), locations.end());
    }
    // The program's own bytes are what the uninstaller is written from.
    const bool image = op.kind == "ReadFile (program image)";
    if (image) scopes.push_back(kInstallFolder + "\\Uninstall.exe");
    // Without the uninstaller nothing may name it: no Programs and Features
    // entry, no per-user step.
    if (image || Below(kGbk.Lower(kInstallFolder + "\\Uninstall.exe"), op.scope)) {
        scopes.push_back("HKLM\\SOFTWARE\\Microsoft");
        scopes.push_back("HKCU\\Software\\Microsoft");
    }
    for (int r = 0; r < kReleaseCount; ++r) {
        const StringList& keys = clean.info.m_arrProductKey[r];
        for (std::size_t j = 0; j < keys.size(); ++j) {
            const StringList& now = run.info.m_arrProductKey[r];
            if (std::find(now.begin(), now.end(), keys[j]) != now.end()) continue;
            scopes.push_back(Join("HKLM\\" + keys[j], nullptr));
            scopes.push_back(clean.info.m_arrAcadLocation[r][j]);
        }
    }
    return scopes;
}

// Whether the detection of this run only lacks installations of the clean
// one, in the same order, each hidden by the failure.
::testing::AssertionResult DetectionOnlyLost(const Op& op, const Outcome& clean, const Outcome& run) {
    for (int r = 0; r < kReleaseCount; ++r) {
        const StringList& all = clean.info.m_arrProductKey[r];
        const StringList& now = run.info.m_arrProductKey[r];
        std::size_t j = 0;
        for (const std::string& key : now) {
            while (j < all.size() && all[j] != key) {
                if (!Below(kGbk.Lower(Join("HKLM\\" + all[j], nullptr)), op.scope))
                    return ::testing::AssertionFailure() << "lost " << all[j];
                ++j;
            }
            if (j == all.size()) return ::testing::AssertionFailure() << "found more: " << key;
            ++j;
        }
        for (; j < all.size(); ++j) {
            if (!Below(kGbk.Lower(Join("HKLM\\" + all[j], nullptr)), op.scope))
                return ::testing::AssertionFailure() << "lost " << all[j];
        }
    }
    return ::testing::AssertionSuccess();
}

// Checks that hold for every run.
void ExpectSound(const Outcome& run, Mode mode) {
    EXPECT_EQ(0u, run.regHandles) << "registry keys left open";
    EXPECT_EQ(0u, run.trackedHandles);
    EXPECT_EQ(0u, run.badHandleUses);
    EXPECT_EQ(0, run.openListings) << "listings left open";
    EXPECT_EQ(0, run.heldAtEnd) << "levels left open";
    // The installation's two levels are held from before the first copy
    // until after the last. The settings folder's levels are held for the
    // one copy into it (or for putting the user's file back).
    std::size_t levels = 0;
    for (const FakeFolderSecurity::Hold& hold : run.holds) {
        if (kGbk.EqualsNoCase(hold.path, kChosenFolder) || kGbk.EqualsNoCase(hold.path, kInstallFolder)) {
            EXPECT_EQ(levels == 0 ? kChosenFolder : kInstallFolder, hold.path);
            ++levels;
            EXPECT_EQ(0u, hold.copiesBefore);
            EXPECT_EQ(run.copies, hold.copiesAtRelease);
        } else {
            EXPECT_TRUE(Below(kGbk.Lower(kAppData + "\\Tarnix"), hold.path)) << hold.path;
            EXPECT_LE(hold.copiesAtRelease, hold.copiesBefore + 1) << hold.path;
        }
    }
    EXPECT_LE(levels, 2u);
    for (const std::string& made : run.madeProtected)
        EXPECT_TRUE(made == kChosenFolder || made == kInstallFolder) << made;
    if (mode == Mode::Dialog) {
        EXPECT_NE(Dlg_Setup::Stage::Installing, run.stage) << "the sequence stopped half-way";
    }

    // No TRUSTEDPATHS entry lost: every seeded entry is still there (in
    // upper case once the value has been rewritten).
    for (const auto& [key, value] : SeededTrustedPaths()) {
        const std::string item = "V hkcu\\" + kGbk.Lower(key) + " : trustedpaths";
        auto it = run.after.find(item);
        ASSERT_NE(run.after.end(), it) << "value gone: " << key;
        const std::string now = kGbk.Upper(it->second.substr(it->second.find(':') + 1));
        for (const std::string& entry : Entries(value))
            EXPECT_NE(std::string::npos, now.find(kGbk.Upper(entry)))
                << "entry lost: " << entry << " in " << key;
    }
}

// The journal of a completed run names each profile's value as it was,
// whatever failed while it was read: the uninstaller gives every profile
// back exactly (a value named as missing would be deleted, every entry the
// user had with it).
void ExpectProfilesBackAfterUninstall(const Outcome& run) {
    EXPECT_TRUE(run.uninstallExit == kExitDone || run.uninstallExit == kExitRestart)
        << run.uninstallExit;
    const auto profiles = [](const State& s) {
        State out;
        for (const auto& [item, text] : s)
            if (Below(ItemPath(item), "HKCU\\Software\\Autodesk")) out.emplace(item, text);
        return out;
    };
    EXPECT_TRUE(SameState(profiles(run.wholeBefore), profiles(run.wholeUninstalled)));
}

// Each item that differs from the clean run is still as it was before the
// installation (a change skipped, never a wrong one), and lies where the
// failure could reach. Two more states are what the rules make of a failure:
// a file whose copy failed has its read-only attribute cleared all the same;
// and a demand-load entry is deleted before it is written afresh, so a write
// into it that fails leaves it without that value.
void ExpectOnlySkippedChanges(const Outcome& clean, const Outcome& run, const Op& op,
                              const std::vector<std::string>& scopes) {
    const auto reached = [&](const std::string& path) {
        if (std::any_of(scopes.begin(), scopes.end(),
                        [&](const std::string& s) { return Below(path, s); }))
            return true;
        // Creating a key by path also makes the levels between.
        return op.kind == "RegCreateKeyA" && Below(kGbk.Lower(op.scope), path) &&
               Below(path, op.base) && path != kGbk.Lower(op.base);
    };
    std::set<std::string> items;
    for (const State* s : {&clean.after, &run.after, &run.before})
        for (const auto& kv : *s) items.insert(kv.first);
    for (const std::string& item : items) {
        auto now = run.after.find(item);
        auto want = clean.after.find(item);
        const bool nowThere = now != run.after.end();
        if (nowThere == (want != clean.after.end()) && (!nowThere || now->second == want->second))
            continue;
        auto was = run.before.find(item);
        const bool wasThere = was != run.before.end();
        const std::string path = ItemPath(item);
        bool allowed = nowThere == wasThere && (!nowThere || now->second == was->second);
        if (item[0] == 'F' && nowThere && wasThere)
            allowed = allowed || WithoutReadOnlyMark(now->second) == WithoutReadOnlyMark(was->second);
        if ((item[0] == 'K' || item[0] == 'V') && !nowThere &&
            (op.kind == "RegCreateKeyA" || op.kind == "RegSetValueExA" ||
             op.kind == "RegSetValueExW") &&
            reached(path))
            allowed = true;
        EXPECT_TRUE(allowed) << item << " is neither as installed nor as it was";
        EXPECT_TRUE(reached(path)) << item << " changed outside what the failure touched";
    }
}

// The operations whose failure leaves nothing to install: the program's
// path or the Data folder cannot be found or listed by the run. (The
// program's path is also read and the folder listed to size the folder
// beforehand, and the program's path read for the uninstaller; those
// failures are quiet.)
bool DataGone(const std::vector<Op>& ops, std::size_t k) {
    const Op& op = ops[k];
    const auto dataCheck = [&](std::size_t i) {
        return ops[i].kind == "FindFirstFileA" && ops[i].scope == kData;
    };
    if (dataCheck(k)) return true;
    if (op.kind == "GetModuleFileNameA" && k + 1 < ops.size() && dataCheck(k + 1)) return true;
    // The planner's: after the check, before the listing it names.
    const auto check = std::find_if(ops.begin(), ops.end(), [&](const Op& o) {
        return o.kind == "FindFirstFileA" && o.scope == kData;
    });
    if (check == ops.end() || static_cast<std::size_t>(check - ops.begin()) >= k) return false;
    const auto listing = std::find_if(check, ops.end(), [&](const Op& o) {
        return o.kind == "FindFirstFileA *.*" && o.scope == kData;
    });
    if (listing == ops.end()) return false;
    const std::size_t at = static_cast<std::size_t>(listing - ops.begin());
    return k == at || (k + 1 == at && op.kind == "GetModuleFileNameA");
}

// One level of the installation folder, or the folder above them, readied
// before anything is copied.
bool FolderStep(const Op& op) {
    const bool kind = op.kind == "CreateDirectoryA (protected)" || op.kind == "CreateFileA (folder)" ||
                      op.kind == "GetSecurityInfo" || op.kind == "CreateFileA (inspect)";
    // The settings folder's levels are held for the copy into it, below the
    // drive's root.
    const bool settingsLevel = op.scope.size() > 3 && Below(kGbk.Lower(kAppData + "\\Tarnix"), op.scope);
    return kind && !settingsLevel;
}

class FaultMatrixTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        cleanDialog_ = new Outcome(Install(-1, Mode::Dialog));
        cleanSilent_ = new Outcome(Install(-1, Mode::Silent));
    }
    static void TearDownTestSuite() {
        delete cleanDialog_;
        delete cleanSilent_;
        cleanDialog_ = cleanSilent_ = nullptr;
    }
    static const Outcome& Clean() { return *cleanDialog_; }
    static const Outcome& CleanSilent() { return *cleanSilent_; }

private:
    static Outcome* cleanDialog_;
    static Outcome* cleanSilent_;
};

Outcome* FaultMatrixTest::cleanDialog_ = nullptr;
Outcome* FaultMatrixTest::cleanSilent_ = nullptr;

TEST_F(FaultMatrixTest, CleanInstallationCompletes) {
    const Outcome& run = Clean();
    ExpectSound(run, Mode::Dialog);
    EXPECT_EQ(Dlg_Setup::Stage::Completed, run.stage);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(50, run.progress);
    // Both levels made with the protected descriptor and held.
    EXPECT_EQ((std::vector<std::string>{kChosenFolder, kInstallFolder}), run.madeProtected);
    ASSERT_LE(2u, run.holds.size());
    EXPECT_EQ(kChosenFolder, run.holds[0].path);
    EXPECT_EQ(kInstallFolder, run.holds[1].path);
    // The scene is what the matrix needs: all five installations found,
    // every kind of change made, one file replaced with a backup.
    int found = 0;
    for (const StringList& keys : run.info.m_arrProductKey) found += static_cast<int>(keys.size());
    EXPECT_EQ(5, found);
    const State& s = run.after;
    EXPECT_EQ(1u, s.count("F " + kGbk.Lower(kInstallFolder + "\\PdfSharp.dll")));
    EXPECT_EQ("1:" + kInstallFolder + "\\TX_BatchPlot2015.ARX" + std::string(1, '\0'),
              s.at("V hklm\\" + kGbk.Lower(kNative) +
                   "r20.1\\acad-f001:804\\applications\\tx_batchplot2016 : loader"));
    EXPECT_EQ(0u, s.count("V hklm\\" + kGbk.Lower(kNative) +
                          "r20.1\\acad-f001:804\\applications\\tx_batchplot2016 : stale"));
    EXPECT_EQ("new Tarnix.Ini", s.at("F " + kGbk.Lower(kAppData) + "\\tarnix\\tarnix.ini"));
    EXPECT_EQ("new Tarnix_HZ.shx",
              s.at("F " + kGbk.Lower(kInstallations[2].location) + "\\fonts\\tarnix_hz.shx"));
    EXPECT_EQ("new Tarnix.prt5",
              s.at("F " + kGbk.Lower(kInstallations[0].location) + "\\drv\\pdfplot9.hdi"));
    EXPECT_EQ("1:" + kGbk.Upper(kOldTrusted + ";" + kInstallFolder) + std::string(1, '\0'),
              s.at("V hkcu\\" + kGbk.Lower(SeededTrustedPaths()[0].first) + " : trustedpaths"));
    ASSERT_EQ(1u, run.backups.size());
    EXPECT_EQ(kInstallations[2].location + "\\Fonts\\Tarnix_HZ.shx", run.backups.begin()->second);
    // Payload, settings file, fonts and driver lose the mark; the package
    // keeps it.
    std::set<std::string> data;
    for (const std::string& name : Machine().fs.Children(kData))
        if (name != "sub") data.insert(kData + "\\" + name);
    ASSERT_EQ(11u, data.size());
    EXPECT_EQ(data, run.marked);
}

TEST_F(FaultMatrixTest, CleanSilentInstallationDoesWhatTheDialogDoes) {
    const Outcome& run = CleanSilent();
    ExpectSound(run, Mode::Silent);
    EXPECT_EQ(kExitDone, run.exitCode);
    EXPECT_TRUE(SameState(Clean().wholeAfter, run.wholeAfter));
    ASSERT_EQ(Clean().ops.size(), run.ops.size());
    for (std::size_t k = 0; k < run.ops.size(); ++k) {
        EXPECT_EQ(Clean().ops[k].kind, run.ops[k].kind) << k;
        EXPECT_EQ(Clean().ops[k].scope, run.ops[k].scope) << k;
    }
}

TEST_F(FaultMatrixTest, EveryOperationFailingOnceInTheDialogEndsAsTheRulesSay) {
    const Outcome& clean = Clean();
    const std::vector<Op>& ops = clean.ops;
    ASSERT_GT(ops.size(), 100u);

    std::map<std::string, int> byKind;
    int runs = 0, completed = 0, cancelled = 0, refusals = 0, identical = 0, asked = 0,
        folderSteps = 0;
    for (std::size_t k = 0; k < ops.size(); ++k) {
        const Op& op = ops[k];
        ++byKind[op.kind];
        if (FolderStep(op)) ++folderSteps;
        for (Answer answer : {Answer::Abort, Answer::Ignore, Answer::Retry}) {
            const Outcome run = Install(static_cast<long>(k), Mode::Dialog, answer);
            ++runs;
            SCOPED_TRACE("operation " + std::to_string(k) + ": " + op.kind + " " + op.scope +
                         (answer == Answer::Abort    ? " (Abort)"
                          : answer == Answer::Retry ? " (Retry)"
                                                    : " (Ignore)"));
            // The same operations lead up to the failing one.
            ASSERT_GT(run.ops.size(), k);
            EXPECT_EQ(op.kind, run.ops[k].kind);
            EXPECT_EQ(op.scope, run.ops[k].scope);
            ExpectSound(run, Mode::Dialog);

            const int copyBoxes =
                static_cast<int>(std::count_if(run.boxes.begin(), run.boxes.end(), IsCopyFailure));
            const bool askedUser = copyBoxes > 0;
            const bool noData = std::any_of(run.boxes.begin(), run.boxes.end(), IsNoDataFolder);
            // The settings file's copy kept in the installation folder is
            // for later users only, and not put to this one.
            const bool settingsCopy =
                kGbk.Lower(op.scope) == kGbk.Lower(kInstallFolder + "\\Tarnix.Ini");
            const bool payloadCopy = op.kind == "CopyFileA" && !settingsCopy &&
                                     !Bookkeeping("F " + kGbk.Lower(op.scope)) && PayloadPlace(op.scope);
            // Without the program's path, the Data folder or its listing
            // there is nothing to install: the message, then the dialog
            // ends.
            const bool dataGone = DataGone(ops, k);
            EXPECT_EQ(dataGone, noData);
            // A level that cannot be made or opened, or whose owner cannot be
            // read, or a folder above it that cannot be looked at, is refused
            // before anything is copied; the user running the installer is
            // only needed for a level that user owns.
            const bool refused = std::any_of(run.boxes.begin(), run.boxes.end(), IsFolderRefusal);
            EXPECT_EQ(FolderStep(op), refused);
            // A payload copy that fails is always put to the user.
            if (payloadCopy) {
                EXPECT_TRUE(askedUser);
            }
            // Only payload copies raise the question, and it names a target
            // the failure reached.
            const std::vector<std::string> scopes = ScopesOf(op, clean, run);
            for (const FakeMessageBox::Call& box : run.boxes) {
                if (!IsCopyFailure(box)) continue;
                const std::string text = kGbk.Lower(box.text);
                EXPECT_TRUE(std::any_of(scopes.begin(), scopes.end(), [&](const std::string& sc) {
                    return text.find(kGbk.Lower(sc)) != std::string::npos;
                })) << box.text;
            }

            // Every try of a failed change makes it again from the start:
            // Retry always mends a failure that happens once.
            const bool aborted = askedUser && answer == Answer::Abort;
            if (refused) {
                // Refused: the initial view stays, nothing copied or
                // registered, and a level made before the refusal is gone.
                ++refusals;
                EXPECT_EQ(1u, run.boxes.size());
                EXPECT_EQ(Dlg_Setup::Stage::Initial, run.stage);
                EXPECT_TRUE(run.endResults.empty());
                EXPECT_EQ(0u, run.copies);
                EXPECT_TRUE(SameState(run.wholeBefore, run.wholeAfter));
            } else if (dataGone || aborted || op.kind == "RegGetValueW") {
                // Cancelled: the dialog ends, and the run is undone whole.
                // Pending restart work that cannot be read may name what
                // the run writes: nothing is done, the restart box said so.
                ++cancelled;
                EXPECT_EQ(Dlg_Setup::Stage::Ended, run.stage);
                EXPECT_EQ(std::vector<int>{kIdCancel}, run.endResults);
                EXPECT_TRUE(SameState(run.wholeBefore, run.wholeAfter));
            } else {
                ++completed;
                EXPECT_EQ(Dlg_Setup::Stage::Completed, run.stage);
                EXPECT_TRUE(run.endResults.empty());
                EXPECT_EQ(50, run.progress);
                ExpectProfilesBackAfterUninstall(run);
            }
            if (askedUser && answer == Answer::Retry) {
                // The copy succeeds the second time: as if nothing failed.
                EXPECT_EQ(1, copyBoxes);
                EXPECT_TRUE(SameState(clean.after, run.after));
            }
            EXPECT_TRUE(DetectionOnlyLost(op, clean, run));
            if (!refused && !dataGone && !aborted && op.kind != "RegGetValueW")
                ExpectOnlySkippedChanges(clean, run, op, scopes);
            if (run.after == clean.after) ++identical;
            if (askedUser) ++asked;
            // Without a question, the answers cannot matter: one run will do.
            if (!askedUser) break;
        }
    }

    std::cout << "fault matrix, dialog: " << ops.size() << " operations, " << runs << " runs ("
              << completed << " completed, " << cancelled << " cancelled, " << refusals
              << " refused, " << identical << " with the clean result, " << asked
              << " asking the user)\n";
    for (const auto& [kind, n] : byKind) std::cout << "  " << kind << ": " << n << "\n";
    // Each step of readying either level failed once, and each was refused:
    // made, held, its owner read.
    EXPECT_EQ(2 * 3 + byKind["CreateFileA (inspect)"], folderSteps);
    // The drive root above the chosen folder was looked at, and failing that refused too.
    EXPECT_LE(1, byKind["CreateFileA (inspect)"]);
    EXPECT_EQ(folderSteps, refusals);
    RecordProperty("operations", static_cast<int>(ops.size()));
    RecordProperty("runs", runs);
}

// A silent run answers every failed change with undoing the whole run.
TEST_F(FaultMatrixTest, EveryOperationFailingOnceInASilentRunCompletesOrChangesNothing) {
    const Outcome& clean = CleanSilent();
    const std::vector<Op>& ops = clean.ops;
    ASSERT_GT(ops.size(), 100u);

    int completed = 0, undone = 0, identical = 0;
    std::map<int, int> byExit;
    for (std::size_t k = 0; k < ops.size(); ++k) {
        const Op& op = ops[k];
        const Outcome run = Install(static_cast<long>(k), Mode::Silent);
        SCOPED_TRACE("operation " + std::to_string(k) + ": " + op.kind + " " + op.scope);
        ASSERT_GT(run.ops.size(), k);
        EXPECT_EQ(op.kind, run.ops[k].kind);
        EXPECT_EQ(op.scope, run.ops[k].scope);
        ExpectSound(run, Mode::Silent);
        EXPECT_TRUE(DetectionOnlyLost(op, clean, run));
        ++byExit[run.exitCode];

        std::vector<std::string> failed;
        for (const std::string& line : run.log)
            if (line.compare(0, 15, "action failed: ") == 0) failed.push_back(line);
        for (const std::string& line : failed) {
            // "action failed: <kind> <path> (error <code>)", the code the
            // system gave.
            const std::size_t error = line.rfind(" (error ");
            ASSERT_NE(std::string::npos, error) << line;
            EXPECT_EQ(')', line.back()) << line;
            EXPECT_NE(" (error 0)", line.substr(error)) << line;
        }

        const bool payloadCopy = op.kind == "CopyFileA" && PayloadPlace(op.scope) &&
                                 !Bookkeeping("F " + kGbk.Lower(op.scope));
        if (run.exitCode == kExitDone) {
            ++completed;
            EXPECT_TRUE(failed.empty()) << failed.front();
            EXPECT_FALSE(payloadCopy) << "a failed copy cannot end a silent run done";
            ExpectOnlySkippedChanges(clean, run, op, ScopesOf(op, clean, run));
            if (run.after == clean.after) ++identical;
            ExpectProfilesBackAfterUninstall(run);
        } else {
            // Not done: exactly as before the run, journal and user's
            // settings included.
            ++undone;
            EXPECT_TRUE(SameState(run.wholeBefore, run.wholeAfter));
            if (FolderStep(op)) {
                EXPECT_EQ(kExitBadCommandLine, run.exitCode);
            } else if (op.kind == "RegGetValueW") {
                // Restart work that cannot be read is taken as owed: tried
                // again later, like a running AutoCAD.
                EXPECT_EQ(kExitHostRunning, run.exitCode);
            } else {
                EXPECT_EQ(kExitFailed, run.exitCode);
            }
            if (payloadCopy) {
                EXPECT_EQ(1u, failed.size());
            }
        }
    }

    std::cout << "fault matrix, silent: " << ops.size() << " operations: " << completed
              << " completed (" << identical << " with the clean result), " << undone
              << " changed nothing; exit codes:";
    for (const auto& [code, n] : byExit) std::cout << " " << code << " x" << n;
    std::cout << "\n";
    EXPECT_LT(0, undone);
    RecordProperty("silent_runs", static_cast<int>(ops.size()));
}

}  // namespace
}  // namespace tx
