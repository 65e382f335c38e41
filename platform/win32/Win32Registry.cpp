#include "platform/win32/Win32Registry.h"

#include "platform/win32/AnsiText.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace tx {

namespace {

HKEY ToHkey(RegHandle h) {
    // The portable constants are not the sign-extended values of <windows.h>.
    if (h == kHkeyLocalMachine) return HKEY_LOCAL_MACHINE;
    if (h == kHkeyCurrentUser) return HKEY_CURRENT_USER;
    return reinterpret_cast<HKEY>(h);
}

RegHandle FromHkey(HKEY h) { return reinterpret_cast<RegHandle>(h); }

bool IsEmpty(const char* path) { return path == nullptr || path[0] == '\0'; }

// A value name in the ANSI code page, as the ANSI calls would take it.
// Null stays null (the default value).
bool WideName(const char* name, std::wstring& out) {
    out.clear();
    if (name == nullptr || name[0] == '\0') return true;
    return AnsiToWide(name, &out);
}

}  // namespace

long Win32Registry::OpenRoot(RegRoot root, RegHandle* out) {
    if (out == nullptr) return kRegInvalidParameter;
    HKEY h = nullptr;
    const LONG rc = RegOpenKeyA(ToHkey(RootKey(root)), nullptr, &h);
    *out = rc == ERROR_SUCCESS ? FromHkey(h) : 0;
    return rc;
}

long Win32Registry::OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) {
    if (out == nullptr) return kRegInvalidParameter;
    HKEY h = nullptr;
    const LONG rc = RegOpenKeyExA(ToHkey(parent), sub != nullptr ? sub : "", 0, KEY_READ, &h);
    *out = rc == ERROR_SUCCESS ? FromHkey(h) : 0;
    return rc;
}

long Win32Registry::OpenKey(RegHandle parent, const char* path, RegHandle* out) {
    if (out == nullptr) return kRegInvalidParameter;
    *out = 0;
    // RegOpenKeyA would return parent itself here; see Registry.h.
    if (IsEmpty(path)) return kRegInvalidParameter;
    HKEY h = nullptr;
    const LONG rc = RegOpenKeyA(ToHkey(parent), path, &h);
    if (rc == ERROR_SUCCESS) *out = FromHkey(h);
    return rc;
}

long Win32Registry::CreateKey(RegHandle parent, const char* path, RegHandle* out) {
    if (out == nullptr) return kRegInvalidParameter;
    *out = 0;
    if (IsEmpty(path)) return kRegInvalidParameter;
    HKEY h = nullptr;
    const LONG rc = RegCreateKeyA(ToHkey(parent), path, &h);
    if (rc == ERROR_SUCCESS) *out = FromHkey(h);
    return rc;
}

long Win32Registry::DeleteKey(RegHandle parent, const char* path) {
    // An empty path would delete parent itself.
    if (IsEmpty(path)) return kRegInvalidParameter;
    return RegDeleteKeyA(ToHkey(parent), path);
}

long Win32Registry::QuerySubkeyCount(RegHandle key, std::uint32_t* count) {
    DWORD n = 0;
    const LONG rc = RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &n, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS && count != nullptr) *count = n;
    return rc;
}

long Win32Registry::EnumKey(RegHandle key, std::uint32_t index, char* name,
                            std::uint32_t* capacity) {
    if (name == nullptr || capacity == nullptr) return kRegInvalidParameter;
    DWORD cap = *capacity;
    const LONG rc = RegEnumKeyExA(ToHkey(key), index, name, &cap, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) *capacity = cap;
    return rc;
}

long Win32Registry::QueryValue(RegHandle key, const char* name, std::uint32_t* type,
                               unsigned char* data, std::uint32_t* size) {
    if (data != nullptr && size == nullptr) return kRegInvalidParameter;
    DWORD t = 0;
    DWORD n = size != nullptr ? *size : 0;
    const LONG rc = RegQueryValueExA(ToHkey(key), name, nullptr, &t, data, size != nullptr ? &n : nullptr);
    if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        if (type != nullptr) *type = t;
        if (size != nullptr) *size = n;
    }
    return rc;
}

long Win32Registry::SetValue(RegHandle key, const char* name, std::uint32_t type,
                             const unsigned char* data, std::uint32_t size) {
    return RegSetValueExA(ToHkey(key), name, 0, type, data, size);
}

long Win32Registry::QueryValueWide(RegHandle key, const char* name, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* size) {
    if (data != nullptr && size == nullptr) return kRegInvalidParameter;
    std::wstring wideName;
    if (!WideName(name, wideName)) return kRegInvalidParameter;
    DWORD t = 0;
    DWORD n = size != nullptr ? *size : 0;
    const LONG rc = RegQueryValueExW(ToHkey(key), name != nullptr ? wideName.c_str() : nullptr,
                                     nullptr, &t, data, size != nullptr ? &n : nullptr);
    if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        if (type != nullptr) *type = t;
        if (size != nullptr) *size = n;
    }
    return rc;
}

long Win32Registry::SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                                 const unsigned char* data, std::uint32_t size) {
    std::wstring wideName;
    if (!WideName(name, wideName)) return kRegInvalidParameter;
    return RegSetValueExW(ToHkey(key), name != nullptr ? wideName.c_str() : nullptr, 0, type, data,
                          size);
}

void Win32Registry::CloseKey(RegHandle key) {
    if (key != 0) RegCloseKey(ToHkey(key));
}

}  // namespace tx

namespace tx {

long Win32Registry::DeleteValue(RegHandle key, const char* name) {
    return RegDeleteValueA(ToHkey(key), name);
}

long Win32Registry::QueryValueCount(RegHandle key, std::uint32_t* count) {
    DWORD n = 0;
    const LONG rc = RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                     nullptr, &n, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS && count != nullptr) *count = n;
    return rc;
}

// RegEnumValueW takes the name buffer's size in characters, room for the NUL
// included, and gives back the name's length without it; a name or data
// that does not fit fails with ERROR_MORE_DATA, only the data size then
// saying what is needed (learn.microsoft.com, RegEnumValueW). So both
// buffers start at the key's largest name and data (RegQueryInfoKeyW, the
// name length without its NUL) and grow when a value grew in between.
long Win32Registry::EnumValueWide(RegHandle key, std::uint32_t index, std::string* name,
                                  std::uint32_t* type, std::vector<unsigned char>* data) {
    if (name == nullptr || type == nullptr || data == nullptr) return kRegInvalidParameter;
    const HKEY h = ToHkey(key);
    std::wstring nameBuf;
    std::vector<unsigned char> dataBuf;
    DWORD t = 0;
    DWORD nameLength = 0;
    DWORD dataSize = 0;
    LONG rc = ERROR_MORE_DATA;
    for (int attempt = 0; attempt < 8 && rc == ERROR_MORE_DATA; ++attempt) {
        DWORD maxName = 0;
        DWORD maxData = 0;
        const LONG info = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, &maxName, &maxData, nullptr, nullptr);
        if (info != ERROR_SUCCESS) return info;
        // Never a null data buffer: RegEnumValueW would then report the size
        // alone and succeed.
        nameBuf.resize(std::max<std::size_t>({nameBuf.size() * 2, maxName + std::size_t{1}, 16}));
        dataBuf.resize(std::max<std::size_t>({dataBuf.size(), maxData, dataSize, 1}));
        nameLength = static_cast<DWORD>(nameBuf.size());
        dataSize = static_cast<DWORD>(dataBuf.size());
        rc = RegEnumValueW(h, index, &nameBuf[0], &nameLength, nullptr, &t, dataBuf.data(),
                           &dataSize);
    }
    if (rc != ERROR_SUCCESS) return rc;

    std::string ansi;
    if (nameLength > 0) {
        const int wide = static_cast<int>(nameLength);
        const int bytes = WideCharToMultiByte(CP_ACP, 0, nameBuf.data(), wide, nullptr, 0, nullptr,
                                              nullptr);
        if (bytes <= 0) return static_cast<long>(GetLastError());
        ansi.resize(static_cast<std::size_t>(bytes));
        WideCharToMultiByte(CP_ACP, 0, nameBuf.data(), wide, &ansi[0], bytes, nullptr, nullptr);
    }
    *name = std::move(ansi);
    *type = t;
    data->assign(dataBuf.begin(), dataBuf.begin() + dataSize);
    return kRegOk;
}

}  // namespace tx
