// What an uninstallation may act on. Each journal line is judged by the
// shape of what it names, whether that is still there or not (an AutoCAD
// uninstalled before the plug-in has taken its keys and folders with it,
// and those lines' undos find nothing to do):
//   files        inside the installation folder, or one of the support
//                files an installation puts into an AutoCAD folder
//                (Fonts\Tarnix_EN.shx, Fonts\Tarnix_HZ.shx, Drv\pdfplot9.hdi)
//   backups      inside the installation folder's Backup folder
//   folders      inside the installation folder, or it and the levels
//                above it (the drive root aside): a folder goes only empty
//   uninstaller  the installation folder's Uninstall.exe
//   keys         HKLM\SOFTWARE\[Wow6432Node\]Autodesk\AutoCAD\<release>\...
//                \Applications, and its TX_BatchPlot<year> for a release
//                year; HKCU\Software\Autodesk\AutoCAD\<release>\<product>
//                \Profiles\<profile>\Variables for TRUSTEDPATHS; the
//                Programs and Features key and the Active Setup keys.
// Every path must be one Windows reads as written: drive-absolute, no
// empty, "." or ".." name, no name it trims, no stream or wildcard.
#pragma once

#include <string>
#include <vector>

#include "engine/Action.h"
#include "engine/OwnFiles.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/WideText.h"

namespace tx {

class UninstallScope {
public:
    enum class Verdict {
        Ours,     // undone as usual
        OwnFile,  // a file line naming the journal, the uninstaller or the
                  // backups: a copy refused before it was made
        Outside,  // nothing the installation ever changes: left alone
    };

    UninstallScope(IFileSystem& fs, IRegistry& registry, const IWideText& wide,
                   const CodePage& codePage, std::string installFolder);

    // Whether the Programs and Features entry names the installation folder
    // as its InstallLocation.
    bool FolderRegistered();

    Verdict Judge(const Action& action);

private:
    bool WellFormed(const std::string& path) const;
    bool Inside(const std::string& path, const std::string& folder) const;
    bool SupportFile(const std::string& path) const;
    Verdict JudgeFile(const std::string& path);

    IRegistry& reg_;
    const IWideText& wide_;
    const CodePage& cp_;
    std::string folder_;
    OwnFiles own_;
};

// Whether the uninstaller's cleanup copy may remove image and folders once
// its parent has ended: image must be the very file the parent runs
// (parentImage, as the system names it) and that file the installation
// folder's Uninstall.exe; the parent must run this same program (its file
// holds what ownImage holds, the cleanup copy being a copy of it); and
// each folder must be the installation folder or the one it was chosen in.
// All compared by identity, whatever spelling each path has. The journal
// and the entry that named the folder are gone by then: that the parent
// is this program, which acts only on a folder it trusts, stands for them.
bool CleanupAllowed(IFileSystem& fs, const CodePage& codePage, const std::string& parentImage,
                    const std::string& ownImage, const std::string& image,
                    const std::vector<std::string>& folders);

}  // namespace tx
