// The user's own settings folder ("%APPDATA%\Tarnix") and the settings
// file in it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/FolderSecurity.h"
#include "platform/CodePage.h"

namespace tx {

// The settings file: a copy of the package's goes to each user's folder,
// and one stays in the installation folder for users who come later.
constexpr const char* kSettingsFileName = "Tarnix.Ini";
// Names the settings file's place when neither the environment nor the
// shell tells where application data lives.
constexpr const char* kUnknownSettingsFolder = "%APPDATA%\\Tarnix";

class UserSettings {
public:
    // userFolders, when given (an elevated run), holds every level of the
    // settings folder while the settings file is copied into it: the
    // folder is the user's, and a level swapped for a link would send the
    // copy elsewhere.
    UserSettings(IFileSystem& fs, const CodePage& codePage, IFolderSecurity* userFolders = nullptr)
        : fs_(fs), cp_(codePage), userFolders_(userFolders) {}

    // The settings folder (made when asked and its path fits); empty when
    // no application-data folder is known.
    std::string Folder(bool make = true);
    // The file's path there, for messages too (kUnknownSettingsFolder
    // when no folder is known).
    std::string TargetFor(const std::string& name);
    // source over the user's settings file, through held levels; read
    // through held when given (a checked package's file).
    OsResult CopyFromPackage(const std::string& source, IHeldFile* held = nullptr);
    // What the user's settings file is now, so a run can put it back:
    // whether the folder and the file are there, and the file's content.
    struct Saved {
        // Read through held levels; a save that could not be is never put
        // back, since what it read may be some other folder's file.
        bool held = false;
        bool folderThere = false;
        bool fileThere = false;
        std::string content;
        std::uint32_t attributes = 0;
    };
    Saved Save();
    // Puts back what Save saw (the file's attributes too), through held
    // levels.
    OsResult Restore(const Saved& saved);
    // The per-user step: source into this user's folder, unless a settings
    // file is there already. False when it could not be put there.
    bool CopyIfMissing(const std::string& source);

private:
    // Opens every level of folder below its root so that none can be
    // renamed, replaced, made a junction or be a link meanwhile; false
    // (nothing held) when one cannot be held that way.
    bool HoldLevels(const std::string& folder, std::vector<std::unique_ptr<IHeldFolder>>* held);

    IFileSystem& fs_;
    const CodePage& cp_;
    IFolderSecurity* userFolders_;
};

}  // namespace tx
