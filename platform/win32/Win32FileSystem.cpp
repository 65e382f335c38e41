#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/Win32HeldFile.h"

#include "platform/win32/AnsiText.h"

namespace tx {

namespace {

class Win32FindHandle : public IFindHandle {
public:
    explicit Win32FindHandle(UniqueFind h) : h_(std::move(h)) {}

    [[nodiscard]] bool Next(FindEntry* entry) override {
        WIN32_FIND_DATAA data{};
        if (!FindNextFileA(h_.get(), &data)) return false;
        entry->name = data.cFileName;
        entry->attributes = data.dwFileAttributes;
        return true;
    }

private:
    UniqueFind h_;
};

// The outcome of a Win32 call that returns nonzero when done: its code is
// taken before anything else can overwrite it.
OsResult Done(BOOL ok) { return ok ? OsResult::Ok() : OsResult::Fail(GetLastError()); }

// An ANSI path as the wide calls take it. Strict: a byte that stands for no
// character would otherwise name some other file.
OsResult ToWidePath(const std::string& path, std::wstring* out) {
    if (path.empty()) return OsResult::Fail(ERROR_INVALID_PARAMETER);
    if (!AnsiToWide(path, out, true)) return OsResult::Fail(ERROR_NO_UNICODE_TRANSLATION);
    return OsResult::Ok();
}

// "X:\..." in the "\\?\" form the wide calls take past MAX_PATH. That form
// is passed on unparsed, so what the ANSI call would have normalised is done
// here: '/' becomes '\' and runs of '\' count as one. A path that is not
// drive-absolute, or names "." or "..", has no such form (ERROR_INVALID_NAME).
OsResult ToExtendedPath(const std::string& path, std::wstring* out) {
    std::wstring wide;
    const OsResult converted = ToWidePath(path, &wide);
    if (!converted) return converted;
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    const bool letter = (wide[0] >= L'A' && wide[0] <= L'Z') || (wide[0] >= L'a' && wide[0] <= L'z');
    if (wide.size() < 3 || !letter || wide[1] != L':' || wide[2] != L'\\')
        return OsResult::Fail(kErrorInvalidName);

    std::wstring result = L"\\\\?\\";
    std::size_t start = 0;
    while (start < wide.size()) {
        std::size_t end = wide.find(L'\\', start);
        if (end == std::wstring::npos) end = wide.size();
        const std::wstring name = wide.substr(start, end - start);
        if (name == L"." || name == L"..") return OsResult::Fail(kErrorInvalidName);
        if (!name.empty()) {
            if (start > 0) result += L'\\';
            result += name;
        }
        start = end + 1;
    }
    *out = result;
    return OsResult::Ok();
}

// The wide spelling for a call: as is within MAX_PATH, where the system
// normalises it as the ANSI call would; the "\\?\" form past it.
OsResult ToCallPath(const std::string& path, std::wstring* out) {
    return path.size() < MAX_PATH ? ToWidePath(path, out) : ToExtendedPath(path, out);
}

}  // namespace

std::string Win32FileSystem::ModulePath() {
    if (!modulePath_.empty()) return modulePath_;
    // Grown until the whole path fits: a cut path would name another folder.
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return std::string(buffer.data(), n);
        if (buffer.size() >= 32768) return std::string();
        buffer.resize(buffer.size() * 2);
    }
}

std::unique_ptr<IFindHandle> Win32FileSystem::FindFirst(const std::string& pattern,
                                                        FindEntry* first) {
    WIN32_FIND_DATAA data{};
    UniqueFind h(FindFirstFileA(pattern.c_str(), &data));
    if (h.get() == INVALID_HANDLE_VALUE) return nullptr;
    first->name = data.cFileName;
    first->attributes = data.dwFileAttributes;
    return std::make_unique<Win32FindHandle>(std::move(h));
}

std::uint32_t Win32FileSystem::GetAttributes(const std::string& path) {
    return GetFileAttributesA(path.c_str());
}

OsResult Win32FileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    return Done(SetFileAttributesA(path.c_str(), attributes));
}

OsResult Win32FileSystem::CopyFile(const std::string& source, const std::string& target) {
    return Done(CopyFileA(source.c_str(), target.c_str(), FALSE));
}

OsResult Win32FileSystem::CreateDirectory(const std::string& path) {
    return Done(CreateDirectoryA(path.c_str(), nullptr));
}

std::uint32_t Win32FileSystem::GetEnvironmentVariable(const char* name, char* buffer,
                                                      std::uint32_t capacity) {
    // Through the wide call: Wine's GetEnvironmentVariableA counts characters,
    // not bytes, and cuts a double-byte value short.
    const std::wstring wideName = AnsiToWide(name == nullptr ? std::string() : std::string(name));
    if (wideName.empty()) return 0;

    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) return 0;
    std::vector<wchar_t> value(size);
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    if (length == 0 || length >= size) return 0;
    const int bytes = WideCharToMultiByte(CP_ACP, 0, value.data(), static_cast<int>(length),
                                          nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return 0;
    const auto needed = static_cast<std::uint32_t>(bytes);
    if (needed + 1 > capacity) return needed + 1;
    WideCharToMultiByte(CP_ACP, 0, value.data(), static_cast<int>(length), buffer,
                        static_cast<int>(capacity), nullptr, nullptr);
    buffer[needed] = '\0';
    return needed;
}

std::string Win32FileSystem::CurrentDirectory() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n == 0) return std::string();
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(n);  // n is the size needed, terminator included
    }
}

OsResult Win32FileSystem::RoamingAppDataFolder(std::string* folder) {
    // The shell is loaded for this one question, from System32 only.
    const SystemLibrary shell32(L"shell32.dll");
    auto* getFolderPath = shell32.Proc<decltype(SHGetFolderPathA)>("SHGetFolderPathA");
    if (getFolderPath == nullptr) return OsResult::Fail(GetLastError());
    char path[MAX_PATH] = {};
    const HRESULT hr = getFolderPath(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    if (FAILED(hr)) {
        // A Win32 code when the shell passes one on; a failure all the same.
        return OsResult::Fail(HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : 0);
    }
    if (path[0] == '\0') return OsResult::Fail(ERROR_PATH_NOT_FOUND);
    *folder = path;
    return OsResult::Ok();
}

OsResult Win32FileSystem::DeleteFile(const std::string& path) {
    if (path.size() < MAX_PATH) return Done(DeleteFileA(path.c_str()));
    // A file's stream ("<file>:Zone.Identifier") may run past MAX_PATH
    // although the file itself fits; only the wide call takes it whole.
    std::wstring extended;
    const OsResult named = ToExtendedPath(path, &extended);
    if (!named) return named;
    return Done(DeleteFileW(extended.c_str()));
}

}  // namespace tx

namespace tx {

namespace {

OsResult WriteAll(HANDLE file, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, text.data() + done, chunk, &written, nullptr))
            return OsResult::Fail(GetLastError());
        if (written == 0) return OsResult::Fail(ERROR_WRITE_FAULT);
        done += written;
    }
    return Done(FlushFileBuffers(file));
}

// A file opened by CreateFile, or why it could not be.
OsResult Opened(const UniqueHandle& file) {
    return file.get() != INVALID_HANDLE_VALUE ? OsResult::Ok() : OsResult::Fail(GetLastError());
}

// An open file whole, from its start, up to 64 MB: what the program
// reads whole is small.
OsResult ReadFromStart(HANDLE file, std::string* content) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return OsResult::Fail(GetLastError());
    if (size.QuadPart > (64 << 20)) return OsResult::Fail(ERROR_FILE_TOO_LARGE);
    content->assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < content->size()) {
        // Positioned reads: the handle may have been read before.
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(done);
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(content->size() - done);
        if (!::ReadFile(file, &(*content)[done], chunk, &read, &at))
            return OsResult::Fail(GetLastError());
        if (read == 0) return OsResult::Fail(ERROR_HANDLE_EOF);  // cut short meanwhile
        done += read;
    }
    return OsResult::Ok();
}

}  // namespace

bool NamesOnePlainFile(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    return GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

OsResult Win32FileSystem::RemoveDirectory(const std::string& path) {
    return Done(RemoveDirectoryA(path.c_str()));
}

OsResult Win32FileSystem::ReadWholeFile(const std::string& path, std::string* content) {
    // The program runs elevated and reads from a user's folders too: a
    // link there would let it read, and then copy where users may read it,
    // a file only administrators may.
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const OsResult opened = Opened(file);
    if (!opened) return opened;
    if (!NamesOnePlainFile(file.get())) return OsResult::Fail(ERROR_CANT_ACCESS_FILE);
    return ReadFromStart(file.get(), content);
}

OsResult Win32FileSystem::WriteWholeFile(const std::string& path, const std::string& content) {
    // Opened, not truncated, until it is known to be a file of one name:
    // CREATE_ALWAYS would empty the other names' file at once. Unshared,
    // so it cannot be renamed and a link put in its place meanwhile.
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const OsResult opened = Opened(file);
    if (!opened) return opened;
    if (!NamesOnePlainFile(file.get())) return OsResult::Fail(ERROR_CANT_ACCESS_FILE);
    if (!SetEndOfFile(file.get())) return OsResult::Fail(GetLastError());
    return WriteAll(file.get(), content);
}

OsResult Win32FileSystem::ReadProgramImage(std::string* content) {
    if (image_ == nullptr) return ReadWholeFile(ModulePath(), content);
    return ReadFromStart(image_, content);
}

OsResult Win32FileSystem::AppendToFile(const std::string& path, const std::string& text) {
    // FILE_APPEND_DATA alone: every write lands at the end of the file.
    UniqueHandle file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const OsResult opened = Opened(file);
    if (!opened) return opened;
    return WriteAll(file.get(), text);
}

OsResult Win32FileSystem::MoveFileAtRestart(const std::string& from, const std::string& to) {
    const DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (to.empty() ? 0 : MOVEFILE_REPLACE_EXISTING);
    return Done(MoveFileExA(from.c_str(), to.empty() ? nullptr : to.c_str(), flags));
}

OsResult Win32FileSystem::RestartOperationPaths(std::vector<std::string>* paths) {
    paths->clear();
    // MoveFileEx queues its delayed operations as pairs of NUL-terminated
    // strings in these values; an empty target is a delete, a target that
    // starts with '!' replaces an existing file. The wide call: the narrow
    // one would turn characters outside the code page into '?'.
    for (const wchar_t* name : {L"PendingFileRenameOperations", L"PendingFileRenameOperations2"}) {
        const wchar_t* const key = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
        DWORD size = 0;
        LSTATUS rc = RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_MULTI_SZ, nullptr,
                                  nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND) continue;
        if (rc != ERROR_SUCCESS) return OsResult::Fail(static_cast<std::uint32_t>(rc));
        std::vector<wchar_t> text;
        // Another installer may add to it between the two calls.
        for (int tries = 0; tries < 8; ++tries) {
            text.assign(size / sizeof(wchar_t) + 2, L'\0');
            size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            rc = RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_MULTI_SZ, nullptr, text.data(),
                              &size);
            if (rc != ERROR_MORE_DATA) break;
        }
        if (rc != ERROR_SUCCESS) return OsResult::Fail(static_cast<std::uint32_t>(rc));
        // Empty strings stand between the pairs: walk by the size, not to
        // the first empty one.
        const std::size_t units = std::min<std::size_t>(size / sizeof(wchar_t), text.size());
        for (std::size_t i = 0; i < units;) {
            std::wstring path(text.data() + i);
            i += path.size() + 1;
            if (!path.empty() && path[0] == L'!') path.erase(0, 1);
            if (path.compare(0, 4, L"\\??\\") == 0) path.erase(0, 4);
            if (path.empty()) continue;
            // A path the code page cannot spell is none of ours.
            std::string ansi = ExactAnsi(path);
            if (!ansi.empty()) paths->push_back(std::move(ansi));
        }
    }
    return OsResult::Ok();
}

OsResult Win32FileSystem::FileSize(const std::string& path, std::uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const OsResult read = Done(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
    if (read) *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return read;
}

OsResult Win32FileSystem::FlushFile(const std::string& path) {
    std::wstring wide;
    const OsResult named = ToCallPath(path, &wide);
    if (!named) return named;
    // Written data waits in the system cache until flushed; FlushFileBuffers
    // writes the file's cached data out, whichever handle wrote it, and
    // needs GENERIC_WRITE. Shared with everyone so a writer still holding
    // the file does not make this fail.
    UniqueHandle file(CreateFileW(wide.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const OsResult opened = Opened(file);
    if (!opened) return opened;
    return Done(FlushFileBuffers(file.get()));
}

OsResult Win32FileSystem::ReplaceFile(const std::string& from, const std::string& to) {
    std::wstring wideFrom, wideTo;
    OsResult named = ToCallPath(from, &wideFrom);
    if (named) named = ToCallPath(to, &wideTo);
    if (!named) return named;
    // Without MOVEFILE_COPY_ALLOWED this is a rename: one step, and refused
    // across volumes rather than done as a copy. MOVEFILE_WRITE_THROUGH is
    // documented for a move done as a copy; asked for anyway, it costs a
    // rename nothing.
    return Done(MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

namespace {

// FileIdInfo and FILE_ID_INFO (Windows 8 and later) as the system defines
// them; the build targets Windows 7, whose headers leave them out.
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);
struct FileIdInfo {
    ULONGLONG volumeSerialNumber;
    BYTE fileId[16];
};

}  // namespace

OsResult Win32FileSystem::FileIdentity(const std::string& path, FileId* id) {
    std::wstring wide;
    const OsResult named = ToCallPath(path, &wide);
    if (!named) return named;
    // No data access and every kind of sharing: looking stops no one.
    // Backup semantics only to open a folder at all; no privilege is
    // enabled, so the usual access checks apply.
    UniqueHandle file(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const OsResult opened = Opened(file);
    if (!opened) return opened;
    FileId found;
    FileIdInfo info{};
    if (GetFileInformationByHandleEx(file.get(), kFileIdInfo, &info, sizeof info)) {
        found.volume = info.volumeSerialNumber;
        std::memcpy(found.id.data(), info.fileId, sizeof info.fileId);
    } else {
        // Windows 7, or a file system without 128-bit ids: the 64-bit index.
        BY_HANDLE_FILE_INFORMATION basic{};
        if (!GetFileInformationByHandle(file.get(), &basic)) return OsResult::Fail(GetLastError());
        found.volume = basic.dwVolumeSerialNumber;
        const DWORD index[2] = {basic.nFileIndexLow, basic.nFileIndexHigh};
        std::memcpy(found.id.data(), index, sizeof index);
    }
    // Some network file systems answer 0 for every file: no identity at all.
    if (found.id == FileId().id) return OsResult::Fail(ERROR_NOT_SUPPORTED);
    *id = found;
    return OsResult::Ok();
}

OsResult Win32FileSystem::HoldForReading(const std::string& path,
                                         std::unique_ptr<IHeldFile>* file) {
    std::wstring wide;
    const OsResult named = ToCallPath(path, &wide);
    if (!named) return named;
    // Shared for reading only: no one can write it, nor rename or delete
    // it (both need delete sharing) while it is held. The reparse point
    // flag opens a link itself, whose facts then say so.
    UniqueHandle held(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const OsResult opened = Opened(held);
    if (!opened) return opened;
    *file = std::make_unique<Win32HeldFile>(std::move(held), path);
    return OsResult::Ok();
}

OsResult Win32FileSystem::CopyFromHeld(IHeldFile& source, const std::string& target) {
    HeldFileFacts facts;
    const OsResult known = source.Facts(&facts);
    if (!known) return known;
    std::wstring wide;
    const OsResult named = ToCallPath(target, &wide);
    if (!named) return named;
    // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL refuses a read-only, hidden
    // or system file, as CopyFile refuses the first two.
    UniqueHandle out(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    const OsResult opened = Opened(out);
    if (!opened) return opened;
    std::vector<char> buffer(1u << 20);
    std::uint64_t offset = 0;
    for (;;) {
        std::size_t got = 0;
        const OsResult read = source.Read(offset, buffer.data(), buffer.size(), &got);
        if (!read) return read;
        if (got == 0) break;
        DWORD written = 0;
        if (!::WriteFile(out.get(), buffer.data(), static_cast<DWORD>(got), &written, nullptr))
            return OsResult::Fail(GetLastError());
        if (written != got) return OsResult::Fail(ERROR_WRITE_FAULT);
        offset += got;
    }
    // Cut short or grown meanwhile: not the file that was checked.
    if (offset != facts.size) return OsResult::Fail(ERROR_HANDLE_EOF);
    // The installed file carries the package's date, as a copy would.
    FILETIME written{static_cast<DWORD>(facts.lastWrite), static_cast<DWORD>(facts.lastWrite >> 32)};
    return Done(SetFileTime(out.get(), nullptr, nullptr, &written));
}

}  // namespace tx
