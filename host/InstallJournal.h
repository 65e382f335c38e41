// What an installation reports while it changes the machine, so that an
// uninstall can later put everything back as it was.
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

// Reads one value through the wide call, whatever its size: how it stands
// below parent (a root or an open key) at path.
RegValueState ReadValueState(IRegistry& reg, RegHandle parent, const std::string& path,
                             const char* name);

class IInstallJournal {
public:
    virtual ~IInstallJournal() = default;
    // A folder this installation made (it did not exist before).
    virtual void FolderCreated(const std::string& path) = 0;
    // Called right before a file is written. A file that is there and not
    // known from an earlier installation is backed up first. False when no
    // backup could be made: the file must then not be overwritten.
    virtual bool BeforeFileWrite(const std::string& path) = 0;
    // A key below HKEY_LOCAL_MACHINE that did not exist and is about to be made.
    virtual void MachineKeyCreated(const std::string& path) = 0;
    // A demand-load key (below HKEY_LOCAL_MACHINE) about to be written, with
    // the LOADER it gets.
    virtual void DemandLoadWritten(const std::string& keyPath, const std::string& loader) = 0;
    // TRUSTEDPATHS of one profile (a key below HKEY_CURRENT_USER) changed.
    virtual void TrustedPathsWritten(const std::string& variablesKey, const RegValueState& before,
                                     const RegValueState& written) = 0;
};

}  // namespace tx
