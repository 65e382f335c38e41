// What SetUp.exe and Uninstall.exe are told on their command line.
//
//   SetUp.exe      [/S] [/RELEASES=<years>|all] [/LOG=<file>] [/D=<folder>]
//   Uninstall.exe  [/S] [/LOG=<file>]
//   Uninstall.exe  /USER [/LOG=<file>]      the per-user step, no window
//   either         /?                       the usage
//
// Switches are case-insensitive and start with '/' or '-'. /D= is the last
// switch: it takes the rest of the line, spaces included, quotes optional.
// A value may be quoted ("/LOG=C:\My Logs\a.log" or /LOG="C:\My Logs\a.log").
//
// The text is in the ANSI code page. Every byte the parser looks at (space,
// tab, '"', '/', '-', '=', ',') is below 0x40, and no double-byte code page
// uses such a byte as a trail byte, so bytewise scanning never splits a
// character.
#pragma once

#include <string>
#include <vector>

#include "host/ReleaseTable.h"

namespace tx {

enum class ProgramRole { Installer, Uninstaller };

struct CommandLine {
    bool ok = true;
    std::string error;  // one line, when !ok

    bool help = false;     // /?
    bool silent = false;   // /S
    bool perUser = false;  // /USER
    bool hasFolder = false;
    std::string folder;  // /D=, as a user would type it into the dialog
    bool hasReleases = false;
    bool allReleases = false;
    std::vector<int> releaseYears;  // /RELEASES=, in the order given, no repeats
    bool hasLog = false;
    std::string logFile;  // /LOG=
};

// The arguments after the program's own name in a full command line as
// GetCommandLine gives it (the name quoted or not).
std::string ArgumentsOf(const std::string& fullCommandLine);

// Parses the arguments (without the program name) for the given program.
// A line that cannot be read is !ok, and silent when it holds /S anywhere
// before a /D=.
CommandLine ParseCommandLine(const std::string& arguments, ProgramRole role);

// Whether /S (or -s) stands among the arguments before any /D=.
bool SilentRequested(const std::string& arguments);

// The tick flags that /RELEASES= asks for among the detected releases, in
// ReleaseIndex order; years listed but not detected are appended to
// *skipped. Without /RELEASES= (or with "all") every detected release.
TickFlags RequestedTicks(const CommandLine& line, const TickFlags& detected,
                         std::vector<int>* skipped);

// The usage, one switch a line (code page 936).
std::string UsageText(ProgramRole role);

}  // namespace tx
