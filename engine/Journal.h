// The journal: a text file in the installation folder that lists, one
// action a line, every change the installations into that folder may have
// made. A run writes an action's line to disk before it makes the change,
// so after a crash or a power cut at any point the journal names all of
// them; the uninstaller undoes them in reverse order.
//
// Format (fields separated by one TAB; '%', TAB, CR, LF and other control
// bytes in a field written as %XX; every line ends with LF):
//   TARNIX-INSTALL-RECORD  2
//   installation     <installation folder>
//   folder           <path>                      a folder made by the installation
//   file-new         <path>                      a file written where none was
//   file-replaced    <path>  <backup>            a file overwritten, its old content in <backup>
//   machine-key      <path>                      a key made below HKEY_LOCAL_MACHINE
//   demand-load      <path>  <LOADER> [<held>]   a demand-load key (HKEY_LOCAL_MACHINE) and
//                                                what it held before: "nokey", or "key"
//                                                then ",<hex name>=<value>" for each value
//   trusted-paths    <key>   <before>  <written> TRUSTEDPATHS of a profile (HKEY_CURRENT_USER)
//   uninstall-entry  <path>                      a key of the program's own, removed whole
//                                                (HKEY_LOCAL_MACHINE, or "HKCU\" + path)
//   uninstaller      <path>  [<backup>]          the copy of the installer that uninstalls
//   moved-from       <folder>                    the installation came from there; the old
//                                                folder's lines stand before this one
// <before> and <written> are "nokey" (no such key), "none" (no such value) or
// "<type>:<hex of the UTF-16LE data as stored>".
//
// Version 2 lists each run's actions as they were journaled (a line may
// name a change that never happened: every undo allows for that); a run
// that completes merges the journal into one line per thing changed, the
// first backup, the first <before> and the first <held> kept. Version 1
// (written merged, without <held> and without the uninstaller's backup)
// reads the same way.
#pragma once

#include <string>
#include <vector>

#include "engine/Action.h"
#include "host/RegValueState.h"
#include "platform/FileSystem.h"
#include "platform/CodePage.h"

namespace tx {

extern const char* const kJournalFileName;   // in the installation folder
extern const char* const kBackupFolderName;  // in the installation folder
extern const char* const kUninstallerName;   // in the installation folder
// A key path with this prefix is below HKEY_CURRENT_USER; without it,
// below HKEY_LOCAL_MACHINE.
extern const char* const kCurrentUserPrefix;

struct JournalContent {
    int version = 2;
    std::string installFolder;
    ActionList actions;  // in the order journaled
    // A last line without its LF was dropped: an action whose line was cut
    // short by a crash or a power cut, which never started.
    bool droppedTornLine = false;
};

// What a rewrite writes first, beside the journal, before it swaps it in.
extern const char* const kJournalRewriteSuffix;

// Bytes as upper-case hex digits, and back: false for an odd count or a
// character that is no hex digit.
std::string HexText(const void* data, std::size_t size);
bool ParseHexText(const std::string& text, std::string* bytes);

// Text of a field and of a registry value state, as the lines hold them.
std::string EscapeField(const std::string& field);
std::string ValueStateText(const RegValueState& value);
bool ParseValueState(const std::string& text, RegValueState* value);

std::string JournalHeader(const std::string& installFolder);
// An action's line with its LF; empty for an action that is not journaled.
std::string JournalLine(const Action& action);
std::string FormatJournal(const std::string& installFolder, const ActionList& actions);

// False, with *error saying where, for anything but a whole, well-formed
// journal (a torn last line aside): another header or version, an unknown
// or malformed line, a bad escape or hex digit, an empty line.
bool ParseJournal(const std::string& text, JournalContent* journal, std::string* error = nullptr);

// The journal's file in one installation folder.
class JournalFile {
public:
    JournalFile(IFileSystem& fs, std::string installFolder);

    const std::string& Path() const { return path_; }
    // Appends lines and flushes them to disk.
    OsResult Append(const std::string& lines);
    // Writes text to a file beside the journal, flushes it and swaps it in
    // in one step: a crash leaves the old journal or the new one, whole.
    OsResult Rewrite(const std::string& text);
    // Deletes what a rewrite cut off by a crash left beside the journal.
    void RemoveLeftover();

private:
    IFileSystem& fs_;
    std::string path_;
};

}  // namespace tx
