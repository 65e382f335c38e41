#include "platform/win32/Win32FileLog.h"

#include "platform/win32/AnsiText.h"
#include "platform/win32/Win32FileSystem.h"

#include "platform/TextFormat.h"

#include <vector>

namespace tx {

namespace {

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n,
                        nullptr, nullptr);
    return text;
}

// The program runs elevated, and %TEMP% belongs to the user who may have
// put a link of the log's name there, aimed at a file only administrators
// may change. So the name is removed first (that removes a link, never
// what it points to) and the log is made anew: CREATE_NEW fails if anything
// got there in between, and a file with other names (a hard link) or a
// reparse point is refused.
UniqueHandle CreateFresh(const std::wstring& path) {
    DeleteFileW(path.c_str());
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return UniqueHandle();
    if (!NamesOnePlainFile(file.get())) return UniqueHandle();
    return file;
}

}  // namespace

std::string AnsiToUtf8(const std::string& text) { return Utf8(AnsiToWide(text)); }

Win32FileLog::Win32FileLog(const std::string& path) {
    const std::wstring wide = AnsiToWide(path);
    if (!wide.empty()) file_ = CreateFresh(wide);
}

std::string Win32FileLog::DefaultPath(const char* fileName) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    const DWORD n = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n == 0 || n >= buffer.size()) return std::string();
    std::wstring path(buffer.data(), n);
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    // A temporary folder the code page cannot spell would name another place.
    const std::string ansi = ExactAnsi(path);
    if (ansi.empty()) return std::string();
    return ansi + fileName;
}

void Win32FileLog::Line(const std::string& text) {
    if (!Ok()) return;
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::string line = ZeroPadded(now.wYear, 4) + "-" + ZeroPadded(now.wMonth, 2) + "-" +
                       ZeroPadded(now.wDay, 2) + " " + ZeroPadded(now.wHour, 2) + ":" +
                       ZeroPadded(now.wMinute, 2) + ":" + ZeroPadded(now.wSecond, 2) + "." +
                       ZeroPadded(now.wMilliseconds, 3) + " ";
    line += AnsiToUtf8(text);
    line += "\r\n";
    DWORD written = 0;
    // A failed write is lost; the log never stops the run.
    WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace tx
