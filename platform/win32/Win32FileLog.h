// ILog into a file, in UTF-8 with a time on each line: the program's own in
// the user's temporary folder, made anew each run, or the one the command
// line names.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Log.h"
#include "platform/win32/Handles.h"

namespace tx {

// Where a log goes.
enum class LogPlace {
    // The program's own name in %TEMP%: whatever is there under it is
    // removed (a link as itself) and the log made anew.
    OwnName,
    // Named on the command line: nothing there is ever deleted or cut.
    // The log is made new, or appended to an existing plain file that has
    // no other name (no hard link, no link, no folder).
    Named,
};

class Win32FileLog final : public ILog {
public:
    // path in the ANSI code page. When the file cannot be made the log is
    // simply not written (Ok() is false).
    explicit Win32FileLog(const std::string& path, LogPlace place = LogPlace::OwnName);
    // %TEMP%\<fileName>.
    static std::string DefaultPath(const char* fileName);

    bool Ok() const { return file_.get() != INVALID_HANDLE_VALUE && file_.get() != nullptr; }
    void Line(const std::string& text) override;

private:
    UniqueHandle file_;
};

// ANSI code page text as UTF-8.
std::string AnsiToUtf8(const std::string& text);

}  // namespace tx
