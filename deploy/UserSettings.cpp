#include "deploy/UserSettings.h"

#include "deploy/FileHelpers.h"
#include "deploy/PathLimits.h"

namespace tx {

std::string UserSettings::Folder(bool make) {
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
    // Already there, most times; a folder that cannot be made fails the copy.
    if (make && FitsPathBuffer(folder)) (void)fs_.CreateDirectory(folder);
    return folder;
}

std::string UserSettings::TargetFor(const std::string& name) {
    const std::string folder = Folder(false);
    return (folder.empty() ? std::string(kUnknownSettingsFolder) : folder) + "\\" + name;
}

bool UserSettings::HoldLevels(const std::string& folder,
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
            end == start ? nullptr : userFolders_->HoldUserFolder(folder.substr(0, end), &facts);
        if (!level || facts.reparsePoint || !facts.directory) {
            held->clear();
            return false;
        }
        held->push_back(std::move(level));
        start = ++end;
    }
    return true;
}

OsResult UserSettings::CopyFromPackage(const std::string& source, IHeldFile* held) {
    const std::string folder = Folder();
    // Named as the package names it, as TargetFor shows it.
    const std::size_t slash = cp_.LastBackslash(source);
    const std::string target =
        folder + "\\" + (slash == CodePage::npos ? source : source.substr(slash + 1));
    if (folder.empty() || !FitsPathBuffer(source) || !FitsPathBuffer(target))
        return OsResult::Fail(kErrorPathNotFound);
    std::vector<std::unique_ptr<IHeldFolder>> levels;  // for this copy
    if (!HoldLevels(folder, &levels)) return OsResult::Fail(kErrorAccessDenied);
    if (held == nullptr) ClearReadOnly(fs_, source);
    ClearForOverwrite(fs_, target);
    // The folder is the user's: a link of the file's name is not written through.
    const OsResult copied = held != nullptr
                                ? CopyHeldTo(fs_, *held, target, FilePlace::Elsewhere)
                                : CopyTo(fs_, source, target, FilePlace::Elsewhere);
    if (!copied) return copied;
    ClearReadOnly(fs_, target);
    RemoveInternetMark(fs_, target);
    return OsResult::Ok();
}

UserSettings::Saved UserSettings::Save() {
    Saved saved;
    const std::string folder = Folder(false);
    if (folder.empty()) return saved;
    saved.folderThere = fs_.GetAttributes(folder) != kInvalidAttributes;
    std::vector<std::unique_ptr<IHeldFolder>> levels;
    // Elevated, a level the user swapped for a link would have the run read
    // (and later write back) another folder's file.
    if (saved.folderThere && !HoldLevels(folder, &levels)) return saved;
    const std::string file = folder + "\\" + kSettingsFileName;
    saved.attributes = fs_.GetAttributes(file);
    saved.fileThere = saved.attributes != kInvalidAttributes;
    // A file there that cannot be read (a link, refused) is not put back:
    // what would be written is not what was there.
    if (saved.fileThere && !fs_.ReadWholeFile(file, &saved.content)) return saved;
    saved.held = true;
    return saved;
}

OsResult UserSettings::Restore(const Saved& saved) {
    if (!saved.held) return OsResult::Ok();
    const std::string folder = Folder(false);
    if (folder.empty() || fs_.GetAttributes(folder) == kInvalidAttributes) return OsResult::Ok();
    const std::string target = folder + "\\" + kSettingsFileName;
    std::vector<std::unique_ptr<IHeldFolder>> levels;
    if (!HoldLevels(folder, &levels)) return OsResult::Fail(kErrorAccessDenied);
    if (saved.fileThere) {
        ClearForOverwrite(fs_, target);
        const OsResult written = fs_.WriteWholeFile(target, saved.content);
        // A user's read-only or hidden file stays so.
        if (!written || saved.attributes == kInvalidAttributes) return written;
        return fs_.SetAttributes(target, saved.attributes);
    }
    const FileOutcome removed = DeleteOrSchedule(fs_, target);
    if (removed.status == FileStatus::Failed) return OsResult::Fail(removed.error);
    levels.clear();
    if (saved.folderThere) return OsResult::Ok();
    return fs_.RemoveDirectory(folder);
}

bool UserSettings::CopyIfMissing(const std::string& source) {
    const std::string folder = Folder();
    if (folder.empty()) return false;
    const std::string target = folder + "\\" + kSettingsFileName;
    // A user's own settings are never replaced.
    if (fs_.GetAttributes(target) != kInvalidAttributes) return true;
    if (!FitsPathBuffer(target) || !fs_.CopyFile(source, target)) return false;
    ClearReadOnly(fs_, target);
    RemoveInternetMark(fs_, target);
    return true;
}

}  // namespace tx
