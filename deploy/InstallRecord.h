// The install record: a text file in the installation folder that lists,
// one action a line, what installations changed on the machine. It is
// appended to while the actions happen, and read back by the uninstaller,
// which acts on nothing else and refuses a record it cannot read whole.
//
// Format, version 1 (fields separated by one TAB; '%', TAB, CR, LF and other
// control bytes in a field written as %XX; every line ends with LF):
//   TARNIX-INSTALL-RECORD  1
//   installation     <installation folder>
//   folder           <path>                      a folder made by the installation
//   file-new         <path>                      a file written where none was
//   file-replaced    <path>  <backup>            a file overwritten, its old content in <backup>
//   machine-key      <path>                      a key made below HKEY_LOCAL_MACHINE
//   demand-load      <path>  <LOADER>            a demand-load key (HKEY_LOCAL_MACHINE)
//   trusted-paths    <key>   <before>  <written> TRUSTEDPATHS of a profile (HKEY_CURRENT_USER)
//   uninstall-entry  <path>                      a key of the program's own, removed whole: the
//                                                Programs and Features and Active Setup keys
//                                                (HKEY_LOCAL_MACHINE, or "HKCU\" + path)
//   uninstaller      <path>                      the copy of the installer that uninstalls
// <before> and <written> are "nokey" (no such key), "none" (no such value) or
// "<type>:<hex of the UTF-16LE data as stored>".
//
// Later installations append to the same record. Reading it merges the
// lines: the first line of a file (so its first backup) and the first
// <before> of a value win; the latest <written> and LOADER win.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/InstallJournal.h"
#include "platform/MbText.h"

namespace tx {

extern const char* const kRecordFileName;    // in the installation folder
extern const char* const kBackupFolderName;  // in the installation folder
extern const char* const kUninstallerName;   // in the installation folder
// An uninstall-entry path with this prefix is below HKEY_CURRENT_USER;
// without it, below HKEY_LOCAL_MACHINE.
extern const char* const kCurrentUserPrefix;

struct RecordedFile {
    std::string path;
    std::string backup;  // empty: the file did not exist before
};

struct RecordedDemandLoad {
    std::string key;
    std::string loader;
};

struct RecordedTrustedPaths {
    std::string key;
    RegValueState before;
    RegValueState written;
};

struct InstallRecord {
    std::string installFolder;
    std::vector<std::string> folders;  // in the order they were made
    std::vector<RecordedFile> files;
    std::vector<std::string> machineKeys;  // in the order they were made
    std::vector<RecordedDemandLoad> demandLoads;
    std::vector<RecordedTrustedPaths> trustedPaths;
    std::vector<std::string> uninstallEntries;
    std::string uninstaller;

    bool Empty() const {
        return folders.empty() && files.empty() && machineKeys.empty() && demandLoads.empty() &&
               trustedPaths.empty() && uninstallEntries.empty() && uninstaller.empty();
    }
};

// Lines of the record, each with its LF.
std::string RecordHeader(const std::string& installFolder);
std::string FolderLine(const std::string& path);
std::string FileLine(const RecordedFile& file);
std::string MachineKeyLine(const std::string& path);
std::string DemandLoadLine(const RecordedDemandLoad& entry);
std::string TrustedPathsLine(const RecordedTrustedPaths& entry);
std::string UninstallEntryLine(const std::string& path);
std::string UninstallerLine(const std::string& path);

// The whole record in its merged form.
std::string FormatRecord(const InstallRecord& record);

// False, with *error saying where, for anything but a whole, well-formed
// record: another header or version, an unknown or malformed line, a bad
// escape or hex digit, an empty line or a last line without its LF. Paths
// are told apart without letter case.
bool ParseRecord(const std::string& text, const CodePage& codePage, InstallRecord* record,
                 std::string* error = nullptr);

// Adds the actions of one line to a merged record.
class RecordMerger {
public:
    RecordMerger(InstallRecord& record, const CodePage& codePage)
        : record_(record), cp_(codePage) {}
    void AddFolder(const std::string& path);
    // False when the file is known already (the first line stays).
    bool AddFile(const RecordedFile& file);
    void AddMachineKey(const std::string& path);
    void AddDemandLoad(const RecordedDemandLoad& entry);
    void AddTrustedPaths(const RecordedTrustedPaths& entry);
    void AddUninstallEntry(const std::string& path);
    const RecordedFile* FindFile(const std::string& path) const;

private:
    bool Same(const std::string& a, const std::string& b) const { return cp_.EqualsNoCase(a, b); }
    InstallRecord& record_;
    const CodePage& cp_;
};

}  // namespace tx
