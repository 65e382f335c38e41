#include "tests/driver/RegistryDump.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "tests/driver/Handles.h"
#include "tests/driver/Report.h"

namespace txdrive {

namespace {

std::string Folded(const std::string& s) {
    std::string f = s;
    for (char& c : f) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return f;
}

void SortNames(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return Folded(a) < Folded(b); });
}

std::string ValueText(DWORD type, const std::vector<BYTE>& data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            const bool terminated = !data.empty() && data.back() == 0;
            std::string s(data.begin(), data.end());
            const std::size_t nul = s.find('\0');
            if (nul != std::string::npos) s.resize(nul);
            return std::string(type == REG_SZ ? "sz" : "expand_sz") +
                   (terminated ? "" : "(unterminated)") + ":" + Shown(s);
        }
        case REG_DWORD:
            if (data.size() == 4) {
                DWORD v = 0;
                std::copy(data.begin(), data.end(), reinterpret_cast<BYTE*>(&v));
                return "dword:" + std::to_string(v);
            }
            break;
        default:
            break;
    }
    std::string hex = "type" + std::to_string(type) + ":";
    for (BYTE b : data) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

void DumpKey(HKEY root, const std::string& rootName, const std::string& sub) {
    const std::string shownPath = rootName + "\\" + Shown(sub, false);
    HKEY raw = nullptr;
    if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        Say("[" + shownPath + "] absent");
        return;
    }
    UniqueKey key(raw);
    Say("[" + shownPath + "]");

    DWORD subkeys = 0, values = 0, maxValueName = 0, maxData = 0;
    RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     &maxValueName, &maxData, nullptr, nullptr);

    struct Value {
        std::string name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Value> vals;
    for (DWORD i = 0; i < values; ++i) {
        std::string name(maxValueName + 2, '\0');
        DWORD nameLen = static_cast<DWORD>(name.size());
        std::vector<BYTE> data(maxData + 2);
        DWORD dataLen = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key.Get(), i, &name[0], &nameLen, nullptr, &type, data.data(), &dataLen) !=
            ERROR_SUCCESS) {
            continue;
        }
        name.resize(nameLen);
        data.resize(dataLen);
        vals.push_back({name, type, data});
    }
    std::sort(vals.begin(), vals.end(),
              [](const Value& a, const Value& b) { return Folded(a.name) < Folded(b.name); });
    for (const Value& v : vals) {
        Say("  " + (v.name.empty() ? std::string("@") : Shown(v.name)) + "=" + ValueText(v.type, v.data));
    }

    std::vector<std::string> names;
    for (DWORD i = 0; i < subkeys; ++i) {
        char name[256] = {};
        DWORD len = sizeof name;
        if (RegEnumKeyExA(key.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            names.emplace_back(name, len);
        }
    }
    SortNames(names);
    for (const std::string& n : names) DumpKey(root, rootName, sub + "\\" + n);
}

// The same dump through the wide calls.

std::wstring FoldedWide(const std::wstring& s) {
    std::wstring f = s;
    for (wchar_t& c : f) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return f;
}

std::string WideValueText(DWORD type, const std::vector<BYTE>& data) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ValueText(type, data);
    std::wstring s(data.size() / 2, L'\0');
    std::copy(data.begin(), data.begin() + 2 * s.size(), reinterpret_cast<BYTE*>(&s[0]));
    const bool terminated = !s.empty() && s.back() == L'\0' && data.size() % 2 == 0;
    const std::size_t nul = s.find(L'\0');
    if (nul != std::wstring::npos) s.resize(nul);
    return std::string(type == REG_SZ ? "sz" : "expand_sz") + (terminated ? "" : "(unterminated)") +
           ":" + ShownWide(s);
}

void DumpKeyWide(HKEY root, const std::string& rootName, const std::wstring& sub) {
    const std::string shownPath = rootName + "\\" + ShownWide(sub, false);
    HKEY raw = nullptr;
    if (RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) {
        Say("[" + shownPath + "] absent");
        return;
    }
    UniqueKey key(raw);
    Say("[" + shownPath + "]");

    DWORD subkeys = 0, values = 0, maxValueName = 0, maxData = 0;
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                     &maxValueName, &maxData, nullptr, nullptr);

    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> data;
    };
    std::vector<Value> vals;
    for (DWORD i = 0; i < values; ++i) {
        std::wstring name(maxValueName + 2, L'\0');
        DWORD nameLen = static_cast<DWORD>(name.size());
        std::vector<BYTE> data(maxData + 2);
        DWORD dataLen = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key.Get(), i, &name[0], &nameLen, nullptr, &type, data.data(), &dataLen) !=
            ERROR_SUCCESS) {
            continue;
        }
        name.resize(nameLen);
        data.resize(dataLen);
        vals.push_back({name, type, data});
    }
    std::sort(vals.begin(), vals.end(), [](const Value& a, const Value& b) {
        return FoldedWide(a.name) < FoldedWide(b.name);
    });
    for (const Value& v : vals) {
        Say("  " + (v.name.empty() ? std::string("@") : ShownWide(v.name)) + "=" +
            WideValueText(v.type, v.data));
    }

    std::vector<std::wstring> names;
    for (DWORD i = 0; i < subkeys; ++i) {
        wchar_t name[256] = {};
        DWORD len = 256;
        if (RegEnumKeyExW(key.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            names.emplace_back(name, len);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return FoldedWide(a) < FoldedWide(b);
    });
    for (const std::wstring& n : names) DumpKeyWide(root, rootName, sub + L"\\" + n);
}

std::wstring WidePath(const std::string& ansi) {
    if (ansi.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], n);
    return wide;
}

}  // namespace

bool DumpRegistry(const std::string& path, bool wide) {
    const std::size_t slash = path.find('\\');
    const std::string rootText = path.substr(0, slash);
    const std::string sub = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    HKEY root = nullptr;
    std::string rootName;
    if (rootText == "HKLM" || rootText == "HKEY_LOCAL_MACHINE") {
        root = HKEY_LOCAL_MACHINE;
        rootName = "HKLM";
    } else if (rootText == "HKCU" || rootText == "HKEY_CURRENT_USER") {
        root = HKEY_CURRENT_USER;
        rootName = "HKCU";
    } else {
        return false;
    }
    if (wide)
        DumpKeyWide(root, rootName, WidePath(sub));
    else
        DumpKey(root, rootName, sub);
    return true;
}

}  // namespace txdrive
