// The package's manifest: every file of its Data folder with its size and
// SHA-256 digest. The package step appends it to SetUp.exe before signing
// it (package/WriteManifest.cmake), so the signature covers it too:
// Authenticode hashes everything in the file but the certificate table.
//
// The block ends where the image's certificate table begins (at the end of
// the file when unsigned), after the last section's data:
//   Tarnix package manifest 1\n
//   <SHA-256, lower-case hex> <size in bytes> <name>\n    one line per file
//   \n...                            up to 7 more, so the block ends 8-aligned
//   <the block's length, 8 decimal digits>TXPKGMF1
// A signing tool may put up to 7 zero bytes between it and the certificate
// table. Names are ASCII: the program sees them in its ANSI code page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/HeldFile.h"

namespace tx {

constexpr const char* kManifestHeading = "Tarnix package manifest 1";
constexpr const char* kManifestMagic = "TXPKGMF1";

struct ManifestFile {
    std::string name;
    std::uint64_t size = 0;
    std::string sha256;  // lower-case hex
};

struct PackageManifest {
    enum class State {
        None,        // the program carries none (a developer or test build)
        Present,
        Unreadable,  // it carries one that cannot be read, or its file cannot be
    };
    State state = State::None;
    std::vector<ManifestFile> files;
};

// The manifest's text (the block without its footer) into files; false,
// with nothing in files, when any line is not as above, a name is not a
// plain ASCII file name or comes twice.
bool ParseManifest(const std::string& text, std::vector<ManifestFile>* files);

// The manifest the program image carries, read through the image's handle.
PackageManifest ReadImageManifest(IHeldFile& image);

}  // namespace tx
