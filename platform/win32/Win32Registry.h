// The registry interface over the Win32 registry functions: ANSI, and wide
// for the two value calls that must keep every character.
#pragma once

#include "platform/Registry.h"

namespace tx {

class Win32Registry final : public IRegistry {
public:
    [[nodiscard]] long OpenRoot(RegRoot root, RegHandle* out) override;
    [[nodiscard]] long OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) override;
    [[nodiscard]] long OpenKey(RegHandle parent, const char* path, RegHandle* out) override;
    [[nodiscard]] long CreateKey(RegHandle parent, const char* path, RegHandle* out) override;
    [[nodiscard]] long DeleteKey(RegHandle parent, const char* path) override;
    [[nodiscard]] long QuerySubkeyCount(RegHandle key, std::uint32_t* count) override;
    [[nodiscard]] long EnumKey(RegHandle key, std::uint32_t index, char* name,
                               std::uint32_t* capacity) override;
    [[nodiscard]] long QueryValue(RegHandle key, const char* name, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* size) override;
    [[nodiscard]] long SetValue(RegHandle key, const char* name, std::uint32_t type,
                                const unsigned char* data, std::uint32_t size) override;
    [[nodiscard]] long QueryValueWide(RegHandle key, const char* name, std::uint32_t* type,
                                      unsigned char* data, std::uint32_t* size) override;
    [[nodiscard]] long SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                                    const unsigned char* data, std::uint32_t size) override;
    void CloseKey(RegHandle key) override;
    [[nodiscard]] long DeleteValue(RegHandle key, const char* name) override;
    [[nodiscard]] long QueryValueCount(RegHandle key, std::uint32_t* count) override;
    [[nodiscard]] long EnumValueWide(RegHandle key, std::uint32_t index, std::string* name,
                                     std::uint32_t* type,
                                     std::vector<unsigned char>* data) override;
};

}  // namespace tx
