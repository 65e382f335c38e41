// A registry value as it stood at one moment, so that a change to it can
// be recognised and undone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace tx {

// A registry value as it stood at one moment, its text as UTF-16LE bytes
// exactly as stored.
struct RegValueState {
    bool keyExists = false;
    bool valueExists = false;
    std::uint32_t type = 0;
    std::vector<unsigned char> data;

    bool operator==(const RegValueState& o) const {
        return keyExists == o.keyExists && valueExists == o.valueExists &&
               (!valueExists || (type == o.type && data == o.data));
    }
    bool operator!=(const RegValueState& o) const { return !(*this == o); }
};

// Whether a value of this type is text (REG_SZ or REG_EXPAND_SZ).
inline bool IsTextType(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz; }

// Reads one value through the wide call, whatever its size: how it stands
// below parent (a root or an open key) at path.
RegValueState ReadValueState(IRegistry& reg, RegHandle parent, const std::string& path,
                             const char* name);

}  // namespace tx
