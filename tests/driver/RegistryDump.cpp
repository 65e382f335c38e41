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

}  // namespace

bool DumpRegistry(const std::string& path) {
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
    DumpKey(root, rootName, sub);
    return true;
}

}  // namespace txdrive
