#include "engine/HeldPayload.h"

#include "deploy/PathLimits.h"
#include "platform/Sha256.h"

namespace tx {

namespace {

// The digest of everything the handle reads, and how much that was.
OsResult HashHeld(IHeldFile& file, std::string* hex, std::uint64_t* size) {
    Sha256 hash;
    std::vector<char> buffer(1u << 16);
    std::uint64_t offset = 0;
    for (;;) {
        std::size_t got = 0;
        const OsResult read = file.Read(offset, buffer.data(), buffer.size(), &got);
        if (!read) return read;
        if (got == 0) break;
        hash.Update(buffer.data(), got);
        offset += got;
    }
    *hex = Sha256::Hex(hash.Finish());
    *size = offset;
    return OsResult::Ok();
}

std::string ErrorText(const OsResult& r) { return "(error " + std::to_string(r.Code()) + ")"; }

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
        const OsResult opened = fs.HoldForReading(path, &held);
        if (!opened) return Refuse(log, file.name + " cannot be opened " + ErrorText(opened));
        HeldFileFacts facts;
        const OsResult known = held->Facts(&facts);
        if (!known) return Refuse(log, file.name + " cannot be read " + ErrorText(known));
        // A link's target, or a file with a second name elsewhere, could be
        // anyone's file.
        if (facts.reparsePoint) return Refuse(log, file.name + " is a link");
        if (facts.directory) return Refuse(log, file.name + " is not a file");
        if (facts.links != 1)
            return Refuse(log, file.name + " has " + std::to_string(facts.links) + " names");
        if (facts.size != file.size) return Refuse(log, file.name + " has changed (size)");
        std::string digest;
        std::uint64_t read = 0;
        const OsResult hashed = HashHeld(*held, &digest, &read);
        if (!hashed) return Refuse(log, file.name + " cannot be read " + ErrorText(hashed));
        if (read != file.size || digest != file.sha256) return Refuse(log, file.name + " has changed");
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
