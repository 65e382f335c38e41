// Registry access as the installer needs it: a thin, handle-based interface
// (ANSI, with two wide calls for values) shaped like the Win32 calls it
// stands for, so the portable core can be run against an in-memory registry
// in tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tx {

// Win32 status codes the core looks at. Anything non-zero is a failure.
constexpr long kRegOk = 0;
constexpr long kRegNotFound = 2;           // ERROR_FILE_NOT_FOUND
constexpr long kRegAccessDenied = 5;       // ERROR_ACCESS_DENIED
constexpr long kRegInvalidHandle = 6;      // ERROR_INVALID_HANDLE
constexpr long kRegInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
constexpr long kRegBadPathname = 161;      // ERROR_BAD_PATHNAME
constexpr long kRegMoreData = 234;         // ERROR_MORE_DATA
constexpr long kRegNoMoreItems = 259;      // ERROR_NO_MORE_ITEMS
constexpr long kRegKeyDeleted = 1018;      // ERROR_KEY_DELETED

constexpr std::uint32_t kRegSz = 1;        // REG_SZ
constexpr std::uint32_t kRegExpandSz = 2;  // REG_EXPAND_SZ
constexpr std::uint32_t kRegDword = 4;     // REG_DWORD
constexpr std::uint32_t kRegMultiSz = 7;   // REG_MULTI_SZ

enum class RegRoot { LocalMachine, CurrentUser };

// Opaque key handle; 0 is "no key".
using RegHandle = std::uintptr_t;

// The predefined root keys: usable as a parent without opening them first,
// and closing one is harmless (as with HKEY_LOCAL_MACHINE on Windows).
constexpr RegHandle kHkeyCurrentUser = 0x80000001u;
constexpr RegHandle kHkeyLocalMachine = 0x80000002u;
constexpr RegHandle RootKey(RegRoot root) {
    return root == RegRoot::LocalMachine ? kHkeyLocalMachine : kHkeyCurrentUser;
}

// Paths are relative to the parent, levels separated by '\' (a trail byte
// 0x5C of a double-byte character is not a separator). Repeated and trailing
// separators are ignored; a leading one fails with kRegBadPathname. Opening,
// creating or deleting the empty path is refused with kRegInvalidParameter:
// Windows would hand back (or delete) the parent itself, which no owner of a
// handle can tell apart from a new key.

class IRegistry {
public:
    virtual ~IRegistry() = default;

    // RegOpenKeyA(root, NULL): a handle to the root itself.
    [[nodiscard]] virtual long OpenRoot(RegRoot root, RegHandle* out) = 0;
    // RegOpenKeyExA(parent, sub, 0, KEY_READ): an empty name opens a second
    // handle to parent. The handle cannot write or create below itself.
    [[nodiscard]] virtual long OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) = 0;
    // RegOpenKeyA(parent, path): open by a (possibly multi-level) path, with
    // write access.
    [[nodiscard]] virtual long OpenKey(RegHandle parent, const char* path, RegHandle* out) = 0;
    // RegCreateKeyA(parent, path): opens the key, creating every missing level.
    [[nodiscard]] virtual long CreateKey(RegHandle parent, const char* path, RegHandle* out) = 0;
    // RegDeleteKeyA(parent, path): removes the last level of path with its
    // values; fails with kRegAccessDenied when that key has subkeys.
    [[nodiscard]] virtual long DeleteKey(RegHandle parent, const char* path) = 0;
    // RegQueryInfoKeyA: number of direct subkeys.
    [[nodiscard]] virtual long QuerySubkeyCount(RegHandle key, std::uint32_t* count) = 0;
    // RegEnumKeyExA: *capacity is the buffer size in, the name length
    // (without its NUL) out. A name that does not fit with its NUL fails with
    // kRegMoreData and leaves buffer and *capacity alone; an index past the
    // end fails with kRegNoMoreItems. Subkeys come sorted, case-insensitively.
    [[nodiscard]] virtual long EnumKey(RegHandle key, std::uint32_t index, char* name,
                                       std::uint32_t* capacity) = 0;
    // RegQueryValueExA into a caller-sized buffer: *size is the buffer size
    // in, the data size out. A value larger than the buffer fails with
    // kRegMoreData (*size then says how much is needed); a missing one with
    // kRegNotFound. Null or empty name: the key's default value.
    [[nodiscard]] virtual long QueryValue(RegHandle key, const char* name, std::uint32_t* type,
                                          unsigned char* data, std::uint32_t* size) = 0;
    // RegSetValueExA; for kRegSz, size counts the terminating NUL.
    [[nodiscard]] virtual long SetValue(RegHandle key, const char* name, std::uint32_t type,
                                        const unsigned char* data, std::uint32_t size) = 0;
    // Text values are kept as UTF-16: the ANSI calls above convert them with
    // the ANSI code page, and characters it lacks read back as "?". The wide
    // calls see them as stored. Value names stay ANSI in both.
    //
    // RegQueryValueExW into a caller-sized buffer: as QueryValue, but text values arrive as
    // UTF-16LE code units as stored (terminator included when stored with one).
    [[nodiscard]] virtual long QueryValueWide(RegHandle key, const char* name, std::uint32_t* type,
                                              unsigned char* data, std::uint32_t* size) = 0;
    // RegSetValueExW; text data is UTF-16LE and size counts its terminating NUL (2 bytes).
    [[nodiscard]] virtual long SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                                            const unsigned char* data, std::uint32_t size) = 0;
    // RegCloseKey.
    virtual void CloseKey(RegHandle key) = 0;
    // RegDeleteValueA: kRegNotFound when there is no such value.
    [[nodiscard]] virtual long DeleteValue(RegHandle key, const char* name) = 0;
    // RegQueryInfoKeyA: number of values of the key (its default one included
    // when set).
    [[nodiscard]] virtual long QueryValueCount(RegHandle key, std::uint32_t* count) = 0;
    // RegEnumValueW: the index-th value of key: its name (converted to the
    // ANSI code page), its type and its data as stored (text as UTF-16LE,
    // its terminator included when stored with one). kRegNoMoreItems past
    // the last value. Values come in no particular order.
    [[nodiscard]] virtual long EnumValueWide(RegHandle key, std::uint32_t index, std::string* name,
                                             std::uint32_t* type,
                                             std::vector<unsigned char>* data) = 0;
};

// Move-only owner of one open key; closes it on every path. It always knows
// its registry, so a handle put into it can always be closed.
class UniqueRegKey {
public:
    explicit UniqueRegKey(IRegistry& reg) : reg_(&reg) {}
    UniqueRegKey(IRegistry& reg, RegHandle h) : reg_(&reg), h_(h) {}
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    UniqueRegKey(UniqueRegKey&& o) noexcept : reg_(o.reg_), h_(std::exchange(o.h_, 0)) {}
    UniqueRegKey& operator=(UniqueRegKey&& o) noexcept {
        if (this != &o) {
            reset();
            reg_ = o.reg_;
            h_ = std::exchange(o.h_, 0);
        }
        return *this;
    }
    ~UniqueRegKey() { reset(); }

    void reset() {
        if (h_ != 0) reg_->CloseKey(h_);
        h_ = 0;
    }
    // For out-parameters: closes what is held, then hands out the slot.
    RegHandle* put() {
        reset();
        return &h_;
    }
    RegHandle get() const { return h_; }
    explicit operator bool() const { return h_ != 0; }

private:
    IRegistry* reg_;
    RegHandle h_ = 0;
};

// The names of key's direct subkeys, as RegEnumKeyExA gives them into a
// buffer of 256 bytes (the longest a key name may be), in the registry's
// order; a name that cannot be read is left out.
inline std::vector<std::string> SubkeyNames(IRegistry& reg, RegHandle key) {
    constexpr std::uint32_t kNameBuffer = 256;
    std::vector<std::string> names;
    std::uint32_t count = 0;
    if (reg.QuerySubkeyCount(key, &count) != kRegOk) return names;
    for (std::uint32_t i = 0; i < count; ++i) {
        char name[kNameBuffer];
        std::uint32_t length = sizeof name;
        if (reg.EnumKey(key, i, name, &length) != kRegOk) continue;
        names.emplace_back(name, length < kNameBuffer ? length : kNameBuffer - 1);
    }
    return names;
}

}  // namespace tx
