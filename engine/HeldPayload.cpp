#include "engine/HeldPayload.h"

#include "deploy/PathLimits.h"
#include "platform/Sha256.h"

namespace tx {

namespace {

// Why the held file is not the one the manifest names (*error the system's
// code when it could not be read); null when it is.
const char* Mismatch(IHeldFile& held, const ManifestFile& file, OsResult* error) {
    HeldFileFacts facts;
    *error = held.Facts(&facts);
    if (!*error) return " cannot be read";
    // A link's target, or a file with a second name elsewhere, could be
    // anyone's file.
    if (facts.reparsePoint) return " is a link";
    if (facts.directory) return " is not a file";
    if (facts.links != 1) return " has more than one name";
    if (facts.size != file.size) return " has changed";
    Sha256 hash;
    std::vector<char> buffer(1u << 16);
    std::uint64_t offset = 0;
    for (;;) {
        std::size_t got = 0;
        *error = held.Read(offset, buffer.data(), buffer.size(), &got);
        if (!*error) return " cannot be read";
        if (got == 0) break;
        hash.Update(buffer.data(), got);
        offset += got;
    }
    if (offset != file.size || Sha256::Hex(hash.Finish()) != file.sha256) return " has changed";
    return nullptr;
}

}  // namespace

bool HeldPayload::Refuse(ILog& log, const std::string& why) {
    log.Line("package refused: " + why);
    keys_.clear();
    files_.clear();
    verified_ = false;
    return false;
}

bool HeldPayload::Check(IFileSystem& fs, const CodePage& cp, ILog& log,
                        const PackageManifest* manifest, const std::string& data) {
    keys_.clear();
    files_.clear();
    verified_ = false;
    if (manifest == nullptr || manifest->state == PackageManifest::State::None) {
        log.Line("package unverified: the program carries no manifest");
        return true;
    }
    if (manifest->state != PackageManifest::State::Present)
        return Refuse(log, "the program's manifest cannot be read");
    const std::vector<ManifestFile>& files = manifest->files;

    // Nothing but the files it names, and each of them.
    const std::string pattern = data + "\\*.*";
    FindEntry entry;
    std::unique_ptr<IFindHandle> listing;
    if (FitsPathBuffer(pattern)) listing = fs.FindFirst(pattern, &entry);
    if (!listing) return Refuse(log, "the Data folder cannot be listed");
    std::vector<bool> listed(files.size(), false);
    do {
        if (entry.name == "." || entry.name == "..") continue;
        std::size_t i = 0;
        while (i < files.size() && !cp.EqualsNoCase(files[i].name, entry.name)) ++i;
        if (i == files.size()) return Refuse(log, entry.name + " is not in the manifest");
        listed[i] = true;
    } while (listing->Next(&entry));
    listing.reset();
    for (std::size_t i = 0; i < files.size(); ++i)
        if (!listed[i]) return Refuse(log, files[i].name + " is missing");

    for (const ManifestFile& file : files) {
        const std::string path = data + "\\" + file.name;
        std::unique_ptr<IHeldFile> held;
        OsResult error = fs.HoldForReading(path, &held);
        const char* why = !error ? " cannot be opened" : Mismatch(*held, file, &error);
        if (why != nullptr) {
            return Refuse(log, file.name + why +
                                   (error ? std::string() : " (error " + std::to_string(error.Code()) + ")"));
        }
        keys_.push_back(cp.Lower(path));
        files_.push_back(std::move(held));
    }
    verified_ = true;
    log.Line("package verified: " + std::to_string(files.size()) +
             " files match the program's manifest");
    return true;
}

OsResult HeldPayload::Source(const std::string& source, const CodePage& cp,
                             IHeldFile** held) const {
    *held = nullptr;
    if (!verified_) return OsResult::Ok();
    const std::string key = cp.Lower(source);
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] == key) {
            *held = files_[i].get();
            return OsResult::Ok();
        }
    }
    return OsResult::Fail(kErrorFileNotFound);
}

}  // namespace tx
