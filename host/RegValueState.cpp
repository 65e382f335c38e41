#include "host/RegValueState.h"

namespace tx {

RegValueState ReadValueState(IRegistry& reg, RegHandle parent, const std::string& path,
                             const char* name) {
    RegValueState state;
    UniqueRegKey key(reg);
    if (reg.OpenKeyRead(parent, path.c_str(), key.put()) != kRegOk || !key) return state;
    state.keyExists = true;
    std::vector<unsigned char> buffer(1024);
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
        std::uint32_t type = 0;
        const long rc = reg.QueryValueWide(key.get(), name, &type, buffer.data(), &size);
        if (rc == kRegMoreData && size > buffer.size()) {
            buffer.resize(size);
            continue;
        }
        if (rc != kRegOk) return state;
        state.valueExists = true;
        state.type = type;
        state.data.assign(buffer.begin(), buffer.begin() + size);
        return state;
    }
    return state;
}

}  // namespace tx
