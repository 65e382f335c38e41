// SHA-256 (FIPS 180-4), for checking the package's files against the
// digests the program carries. Portable: no system crypto library is
// loaded for it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tx {

class Sha256 {
public:
    static constexpr std::size_t kDigestSize = 32;
    using Digest = std::array<std::uint8_t, kDigestSize>;

    Sha256();
    // Adds bytes; any split of a message gives the same digest.
    void Update(const void* data, std::size_t size);
    // The digest of everything added. The object is spent afterwards.
    Digest Finish();

    // The digest in lower-case hexadecimal, as sha256sum prints it.
    static std::string Hex(const Digest& digest);
    // Hex(digest of data), in one call.
    static std::string HexOf(const std::string& data);

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace tx
