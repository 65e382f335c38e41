// The package's Data folder, checked against the manifest the program
// carries before anything changes. Every file is opened once, shared for
// reading only and never through a link, hashed through that handle and
// later copied from it: what was checked is what is installed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/PackageManifest.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/HeldFile.h"
#include "platform/Log.h"

namespace tx {

class HeldPayload {
public:
    // Checks data against manifest and holds each of its files. True when
    // it matches exactly (no file missing, none extra, none changed, none a
    // link or with another name), or when there is nothing to check against
    // (manifest null or State::None): then nothing is held and copies go by
    // name. False otherwise, with nothing held. The log says which.
    bool Check(IFileSystem& fs, const CodePage& cp, ILog& log, const PackageManifest* manifest,
               const std::string& data);
    bool Verified() const { return verified_; }
    // What a copy from source reads: *held is the checked file, or null
    // when nothing was checked. Fails when the package was checked and
    // source is none of its files: nothing unchecked is copied by name.
    OsResult Source(const std::string& source, const CodePage& cp, IHeldFile** held) const;

private:
    bool Refuse(ILog& log, const std::string& why);

    bool verified_ = false;
    std::vector<std::string> keys_;  // lower-cased paths
    std::vector<std::unique_ptr<IHeldFile>> files_;
};

}  // namespace tx
