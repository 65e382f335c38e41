#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/win32/Handles.h"
#include "platform/win32/SystemLibrary.h"
#include "platform/win32/Win32FileSystem.h"

namespace tx {

namespace {

class Win32FindHandle : public IFindHandle {
public:
    explicit Win32FindHandle(UniqueFind h) : h_(std::move(h)) {}

    bool Next(FindEntry* entry) override {
        WIN32_FIND_DATAA data{};
        if (!FindNextFileA(h_.get(), &data)) return false;
        entry->name = data.cFileName;
        entry->attributes = data.dwFileAttributes;
        return true;
    }

private:
    UniqueFind h_;
};

}  // namespace

std::string Win32FileSystem::ModulePath() {
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

bool Win32FileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    return SetFileAttributesA(path.c_str(), attributes) != 0;
}

bool Win32FileSystem::CopyFile(const std::string& source, const std::string& target) {
    return CopyFileA(source.c_str(), target.c_str(), FALSE) != 0;
}

bool Win32FileSystem::CreateDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

std::uint32_t Win32FileSystem::GetEnvironmentVariable(const char* name, char* buffer,
                                                      std::uint32_t capacity) {
    // Through the wide call: Wine's GetEnvironmentVariableA counts characters,
    // not bytes, and cuts a double-byte value short.
    const int nameLength = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (nameLength <= 0) return 0;
    std::vector<wchar_t> wideName(nameLength);
    MultiByteToWideChar(CP_ACP, 0, name, -1, wideName.data(), nameLength);

    const DWORD size = GetEnvironmentVariableW(wideName.data(), nullptr, 0);
    if (size == 0) return 0;
    std::vector<wchar_t> value(size);
    const DWORD length = GetEnvironmentVariableW(wideName.data(), value.data(), size);
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

bool Win32FileSystem::RoamingAppDataFolder(std::string* folder) {
    // The shell is loaded for this one question, from System32 only.
    const SystemLibrary shell32(L"shell32.dll");
    auto* getFolderPath = shell32.Proc<decltype(SHGetFolderPathA)>("SHGetFolderPathA");
    if (getFolderPath == nullptr) return false;
    char path[MAX_PATH] = {};
    if (FAILED(getFolderPath(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return false;
    }
    *folder = path;
    return !folder->empty();
}

}  // namespace tx
