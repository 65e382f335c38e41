#include "engine/PackageManifest.h"

#include <cstring>

namespace tx {

namespace {

constexpr std::size_t kFooterSize = 16;  // 8 digits and the magic
// Far above any package's; a larger "length" is damage.
constexpr std::uint64_t kLongestBlock = 1u << 20;

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool PlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
    }
    return true;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// One file line: "<64 hex> <size> <name>".
bool ParseLine(const std::string& line, ManifestFile* file) {
    if (line.size() < 64 + 3 || line[64] != ' ') return false;
    for (std::size_t i = 0; i < 64; ++i)
        if (!IsLowerHex(line[i])) return false;
    const std::size_t space = line.find(' ', 65);
    if (space == std::string::npos || space == 65 || space - 65 > 19) return false;
    std::uint64_t size = 0;
    for (std::size_t i = 65; i < space; ++i) {
        if (!IsDigit(line[i])) return false;
        size = size * 10 + static_cast<std::uint64_t>(line[i] - '0');
    }
    file->sha256 = line.substr(0, 64);
    file->size = size;
    file->name = line.substr(space + 1);
    return PlainFileName(file->name);
}

std::uint32_t Le32(const char* p) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}

std::uint16_t Le16(const char* p) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(p[0]) |
                                      (static_cast<unsigned char>(p[1]) << 8));
}

// Exactly size bytes at offset; false when the file ends before.
bool ReadAt(IHeldFile& file, std::uint64_t offset, char* buffer, std::size_t size) {
    while (size > 0) {
        std::size_t got = 0;
        if (!file.Read(offset, buffer, size, &got) || got == 0) return false;
        offset += got;
        buffer += got;
        size -= got;
    }
    return true;
}

// Where the image's hashed data ends (its certificate table, or the end of
// the file) and where its last section's data ends.
bool ImageBounds(IHeldFile& image, std::uint64_t* dataEnd, std::uint64_t* sectionsEnd) {
    HeldFileFacts facts;
    if (!image.Facts(&facts)) return false;
    char dos[64];
    if (!ReadAt(image, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const std::uint32_t pe = Le32(dos + 0x3C);
    char header[24];
    if (!ReadAt(image, pe, header, sizeof header) || std::memcmp(header, "PE\0\0", 4) != 0)
        return false;
    const std::uint16_t sections = Le16(header + 4 + 2);
    const std::uint16_t optionalSize = Le16(header + 4 + 16);
    const std::uint64_t optional = static_cast<std::uint64_t>(pe) + sizeof header;
    char magic[2];
    if (!ReadAt(image, optional, magic, sizeof magic)) return false;
    // PE32 or PE32+: where the data directories' count is.
    std::uint64_t count = 0;
    if (Le16(magic) == 0x10B) {
        count = optional + 92;
    } else if (Le16(magic) == 0x20B) {
        count = optional + 108;
    } else {
        return false;
    }
    char directories[4 + 5 * 8];
    if (count + sizeof directories > optional + optionalSize ||
        !ReadAt(image, count, directories, sizeof directories) || Le32(directories) < 5)
        return false;
    // Entry 4, the certificate table, holds a file offset, not an address.
    const std::uint32_t certificates = Le32(directories + 4 + 4 * 8);
    const std::uint32_t certificatesSize = Le32(directories + 4 + 4 * 8 + 4);
    *dataEnd = certificatesSize != 0 ? certificates : facts.size;
    if (*dataEnd > facts.size) return false;

    *sectionsEnd = 0;
    const std::uint64_t table = optional + optionalSize;
    for (std::uint16_t i = 0; i < sections; ++i) {
        char section[40];
        if (!ReadAt(image, table + 40u * i, section, sizeof section)) return false;
        const std::uint64_t end = static_cast<std::uint64_t>(Le32(section + 20)) + Le32(section + 16);
        if (end > *sectionsEnd) *sectionsEnd = end;
    }
    return *sectionsEnd <= *dataEnd;
}

}  // namespace

bool ParseManifest(const std::string& text, std::vector<ManifestFile>* files) {
    files->clear();
    std::vector<ManifestFile> read;
    std::size_t start = 0;
    bool heading = false;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!heading) {
            if (line != kManifestHeading) return false;
            heading = true;
            continue;
        }
        if (line.empty()) continue;  // the padding
        ManifestFile file;
        if (!ParseLine(line, &file)) return false;
        for (const ManifestFile& earlier : read)
            if (SameName(earlier.name, file.name)) return false;
        read.push_back(std::move(file));
    }
    if (!heading) return false;
    *files = std::move(read);
    return true;
}

PackageManifest ReadImageManifest(IHeldFile& image) {
    PackageManifest manifest;
    manifest.state = PackageManifest::State::Unreadable;
    std::uint64_t end = 0;
    std::uint64_t sectionsEnd = 0;
    if (!ImageBounds(image, &end, &sectionsEnd)) return manifest;
    // The signing tool's alignment of the certificate table.
    for (int i = 0; i < 7 && end > sectionsEnd; ++i) {
        char last = 0;
        if (!ReadAt(image, end - 1, &last, 1)) return manifest;
        if (last != '\0') break;
        --end;
    }
    char footer[kFooterSize];
    if (end - sectionsEnd < kFooterSize || !ReadAt(image, end - kFooterSize, footer, kFooterSize) ||
        std::memcmp(footer + 8, kManifestMagic, 8) != 0) {
        manifest.state = PackageManifest::State::None;
        return manifest;
    }
    std::uint64_t length = 0;
    for (int i = 0; i < 8; ++i) {
        if (!IsDigit(footer[i])) return manifest;
        length = length * 10 + static_cast<std::uint64_t>(footer[i] - '0');
    }
    if (length < kFooterSize || length > kLongestBlock || length > end - sectionsEnd) return manifest;
    std::string text(static_cast<std::size_t>(length - kFooterSize), '\0');
    if (!ReadAt(image, end - length, &text[0], text.size())) return manifest;
    if (!ParseManifest(text, &manifest.files)) return manifest;
    manifest.state = PackageManifest::State::Present;
    return manifest;
}

}  // namespace tx
