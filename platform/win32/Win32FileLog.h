// ILog into a file, overwritten each run, in UTF-8 with a time on each line.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Log.h"
#include "platform/win32/Handles.h"

namespace tx {

class Win32FileLog final : public ILog {
public:
    // path in the ANSI code page. When the file cannot be made the log is
    // simply not written (Ok() is false).
    explicit Win32FileLog(const std::string& path);
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
