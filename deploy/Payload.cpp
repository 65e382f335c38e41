#include <cstdint>
#include <stdexcept>

#include "deploy/Deployment.h"
#include "deploy/PathLimits.h"

namespace tx {

namespace {

const char kCaption[] = "Tarnix软件安装";
const char kNoDataFolder[] =
    "未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !";
const char kCopyFailedHead[] = "拷贝文件 ";
const char kCopyFailedTail[] =
    " 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";
// Names the settings file's place in the copy-failure message when neither
// the environment nor the shell tells where application data lives.
const char kUnknownSettingsFolder[] = "%APPDATA%\\Tarnix";

enum class Destination { NotCopied, InstallFolder, SettingsFolder };

struct Row {
    const char* name;
    Destination destination;
    const char* targetName;  // null: the name as found
};

// First match wins; anything else goes to the installation folder as named.
const Row kDeploymentTable[] = {
    {"SetUp.EXE", Destination::NotCopied, nullptr},
    {"Tarnix_EN.shx", Destination::NotCopied, nullptr},
    {"Tarnix_HZ.shx", Destination::NotCopied, nullptr},
    {"Tarnix.prt5", Destination::NotCopied, nullptr},
    {"Tarnix.prt7", Destination::InstallFolder, "itextsharp.dll"},
    {"Tarnix.prt8", Destination::InstallFolder, "PdfSharp.Charting.dll"},
    {"Tarnix.prt9", Destination::InstallFolder, "PdfSharp.dll"},
    {kSettingsFileName, Destination::SettingsFolder, nullptr},
};

const Row kOtherFile = {nullptr, Destination::InstallFolder, nullptr};

const Row& LookUp(const CodePage& cp, const std::string& name) {
    for (const Row& row : kDeploymentTable) {
        if (cp.EqualsNoCase(name, row.name)) return row;
    }
    return kOtherFile;
}

std::string StripOneTrailingBackslash(const std::string& folder, const CodePage& cp) {
    if (folder.empty()) throw std::invalid_argument("installation folder is empty");
    return cp.EndsWithBackslash(folder) ? folder.substr(0, folder.size() - 1) : folder;
}

}  // namespace

PayloadTarget::PayloadTarget(const std::string& folder, IProgress& progressBar,
                             const CodePage& codePage)
    : InstallFolder(StripOneTrailingBackslash(folder, codePage)), ProgressBar(progressBar) {}

std::string Deployer::SettingsFolder() {
    char value[kMaxPath] = {};
    const std::uint32_t length = fs_.GetEnvironmentVariable("APPDATA", value, kMaxPath);
    std::string appData;
    if (length > 0 && length < kMaxPath) {
        appData.assign(value, length);
    } else if (!fs_.RoamingAppDataFolder(&appData)) {
        appData.clear();
    }
    // Never the root of a drive: without a known folder there is no target.
    if (appData.empty()) return std::string();
    std::string folder = appData + "\\Tarnix";
    if (FitsPathBuffer(folder)) fs_.CreateDirectory(folder);
    return folder;
}

bool Deployer::HoldUserFolder(const std::string& folder,
                              std::vector<std::unique_ptr<IHeldFolder>>* held) {
    held->clear();
    if (userFolders_ == nullptr) return true;
    // Below "X:\" or "\\server\share\": the levels a user may own.
    std::size_t start = 0;
    if (folder.size() >= 3 && folder[1] == ':' && folder[2] == '\\') {
        start = 3;
    } else if (folder.compare(0, 2, "\\\\") == 0) {
        const std::size_t server = folder.find('\\', 2);
        const std::size_t share = server == std::string::npos ? server : folder.find('\\', server + 1);
        if (share == std::string::npos) return false;
        start = share + 1;
    } else {
        return false;
    }
    // 0x5C is also a trail byte in 936: split by characters.
    for (std::size_t end = start; end <= folder.size();) {
        const std::size_t length = end < folder.size() ? cp_.CharLength(folder, end) : 1;
        if (end < folder.size() && !(length == 1 && folder[end] == '\\')) {
            end += length;
            continue;
        }
        FolderFacts facts;
        std::unique_ptr<IHeldFolder> level =
            end == start ? nullptr : userFolders_->HoldFolder(folder.substr(0, end), &facts);
        if (!level || facts.reparsePoint || !facts.directory) {
            held->clear();
            return false;
        }
        held->push_back(std::move(level));
        start = ++end;
    }
    return true;
}

bool Deployer::CopyPayloadFile(const std::string& source, const std::string& target,
                               bool usable, bool journaled) {
    // Without a backup of what is there, nothing is overwritten; it is made
    // again on every try, as the file may be free by then.
    const auto backedUp = [&] {
        return !journaled || journal_ == nullptr || journal_->BeforeFileWrite(target);
    };
    // The backup is taken first, so that it keeps the target's attributes.
    const auto copy = [&] {
        if (!usable || !backedUp()) return false;
        ClearForOverwrite(target);
        return fs_.CopyFile(source, target);
    };
    if (usable) ClearReadOnly(source);
    bool copied = copy();
    while (!copied) {
        const int answer =
            mb_.Show(kCopyFailedHead + target + kCopyFailedTail, kCaption, kMbAbortRetryIgnore);
        if (answer == kIdIgnore) break;
        // Anything but Retry or Ignore, a failed box included, stops here.
        if (answer != kIdRetry) return false;
        copied = copy();
    }
    if (usable) ClearReadOnly(target);
    // Once the target is writable again: a read-only file's streams cannot
    // be deleted.
    if (copied) RemoveInternetMark(target);
    return true;
}

bool Deployer::DeployPayload(const PayloadTarget& target) {
    const std::string data = GetDataFolder();
    if (FileExists(data) != kPathIsFolder) {
        mb_.Show(kNoDataFolder, kCaption, kMbOk);
        return false;
    }

    const std::string& install = target.InstallFolder;
    if (FitsPathBuffer(install)) fs_.CreateDirectory(install);

    const std::string pattern = data + "\\*.*";
    FindEntry entry;
    std::unique_ptr<IFindHandle> listing;
    if (FitsPathBuffer(pattern)) listing = fs_.FindFirst(pattern, &entry);
    // Even an empty folder lists "." and "..": without a listing nothing
    // would be copied, and the modules registered next would not be there.
    if (!listing) {
        mb_.Show(kNoDataFolder, kCaption, kMbOk);
        return false;
    }

    // One step per entry and one for the fetch that ends the listing, so a
    // listing of N entries gives N + 1 steps however long it is.
    for (std::size_t i = 0;; ++i) {
        target.ProgressBar.StepIt();
        if (i > 0 && !listing->Next(&entry)) break;

        if (entry.name == "." || entry.name == ".." || (entry.attributes & kAttrDirectory) != 0) {
            continue;
        }
        const Row& row = LookUp(cp_, entry.name);
        if (row.destination == Destination::NotCopied) continue;

        const std::string source = data + "\\" + entry.name;
        std::string targetPath;
        bool usable = FitsPathBuffer(source);
        std::vector<std::unique_ptr<IHeldFolder>> settingsLevels;  // for this copy
        if (row.destination == Destination::SettingsFolder) {
            const std::string folder = SettingsFolder();
            if (folder.empty()) {
                targetPath = std::string(kUnknownSettingsFolder) + "\\" + entry.name;
                usable = false;
            } else {
                targetPath = folder + "\\" + entry.name;
                usable = usable && HoldUserFolder(folder, &settingsLevels);
            }
        } else {
            targetPath = install + "\\" + (row.targetName != nullptr ? row.targetName : entry.name);
        }
        usable = usable && FitsPathBuffer(targetPath);

        if (!CopyPayloadFile(source, targetPath, usable,
                             row.destination == Destination::InstallFolder))
            return false;
        if (row.destination == Destination::SettingsFolder && FitsPathBuffer(source)) {
            KeepSettingsCopy(source, install + "\\" + kSettingsFileName);
        }
    }
    return true;
}

void Deployer::KeepSettingsCopy(const std::string& source, const std::string& target) {
    // The per-user step of every other user takes its first settings from
    // here; without it they simply keep AutoCAD's defaults, so a failure is
    // not put to the user.
    if (!FitsPathBuffer(target)) return;
    if (journal_ != nullptr && !journal_->BeforeFileWrite(target)) return;
    ClearForOverwrite(target);
    if (fs_.CopyFile(source, target)) {
        ClearReadOnly(target);
        RemoveInternetMark(target);
    }
}

bool Deployer::CopySettingsIfMissing(const std::string& source) {
    const std::string folder = SettingsFolder();
    if (folder.empty()) return false;
    const std::string target = folder + "\\" + kSettingsFileName;
    // A user's own settings are never replaced.
    if (fs_.GetAttributes(target) != kInvalidAttributes) return true;
    if (!FitsPathBuffer(target) || !fs_.CopyFile(source, target)) return false;
    ClearReadOnly(target);
    RemoveInternetMark(target);
    return true;
}

}  // namespace tx
