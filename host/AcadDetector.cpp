#include "host/AcadDetector.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tx {

namespace {

// Both the subkey names and the values are read into buffers of this size.
constexpr std::uint32_t kValueBuffer = 256;

// The last release looked for in the 32-bit tree: the table's leading run of
// releases flagged for it.
constexpr int Last32BitIndex() {
    int last = -1;
    while (last + 1 < kReleaseCount && kReleases[last + 1].in32BitTree) ++last;
    return last;
}

std::string FormatWithName(const char* format, const std::string& name) {
    std::string out(format);
    const std::size_t at = out.find("%s");
    if (at != std::string::npos) out.replace(at, 2, name);
    return out;
}

}  // namespace

void AcadDetector::DetectAcadReleases(CAcadInfo& info) {
    ScanAcadTree(info, "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD",
                 "SOFTWARE\\Wow6432Node\\Autodesk\\AutoCAD\\%s\\", Last32BitIndex());
    ScanAcadTree(info, "SOFTWARE\\Autodesk\\AutoCAD", "SOFTWARE\\Autodesk\\AutoCAD\\%s\\",
                 kReleaseCount - 1);
}

void AcadDetector::ScanAcadTree(CAcadInfo& info, const char* treePath,
                                const char* releaseKeyFormat, int lastIndex) {
    UniqueRegKey root(reg_);
    if (reg_.OpenRoot(RegRoot::LocalMachine, root.put()) != kRegOk || !root) return;
    UniqueRegKey tree(reg_);
    if (reg_.OpenKeyRead(root.get(), treePath, tree.put()) != kRegOk || !tree) return;

    for (const std::string& releaseKey : SubkeyNames(reg_, tree.get())) {
        const std::string basePath = FormatWithName(releaseKeyFormat, releaseKey);

        UniqueRegKey release(reg_);
        if (reg_.OpenKeyRead(tree.get(), releaseKey.c_str(), release.put()) != kRegOk || !release)
            continue;

        info.m_arrFoundKey.clear();
        info.m_arrFoundValue.clear();
        info.m_strValueName = "AcadLocation";
        CollectValueKeys(info, release.get(), std::string(), std::string(), basePath);
        const StringList locationKeys = info.m_arrFoundKey;
        const StringList locationValues = info.m_arrFoundValue;

        info.m_arrFoundKey.clear();
        info.m_arrFoundValue.clear();
        info.m_strValueName = "ProductName";
        CollectValueKeys(info, release.get(), std::string(), std::string(), basePath);
        const StringList nameKeys = info.m_arrFoundKey;
        const StringList nameValues = info.m_arrFoundValue;

        for (std::size_t j = 0; j < locationKeys.size(); ++j) {
            for (std::size_t k = 0; k < nameKeys.size(); ++k) {
                if (cp_.Compare(locationKeys[j], nameKeys[k]) != 0) continue;
                const int r = ClassifyProductName(nameValues[k], lastIndex);
                if (r < 0) continue;
                info.m_arrProductKey[r].push_back(locationKeys[j]);
                info.m_arrAcadLocation[r].push_back(locationValues[j]);
            }
        }
    }
}

void AcadDetector::CollectValueKeys(CAcadInfo& info, RegHandle parent, const std::string& subkey,
                                    const std::string& relativePath, const std::string& basePath) {
    UniqueRegKey key(reg_);
    if (reg_.OpenKeyRead(parent, subkey.c_str(), key.put()) != kRegOk || !key) return;

    unsigned char value[kValueBuffer];
    std::uint32_t size = sizeof value;
    std::uint32_t type = 0;
    if (reg_.QueryValue(key.get(), info.m_strValueName.c_str(), &type, value, &size) == kRegOk) {
        const std::size_t read = std::min<std::size_t>(size, sizeof value);
        const void* nul = std::memchr(value, 0, read);
        const std::size_t length =
            nul != nullptr ? static_cast<const unsigned char*>(nul) - value : read;
        info.m_arrFoundKey.push_back(basePath + relativePath);
        info.m_arrFoundValue.emplace_back(reinterpret_cast<const char*>(value), length);
        return;
    }

    for (const std::string& child : SubkeyNames(reg_, key.get()))
        CollectValueKeys(info, key.get(), child, relativePath + child + "\\", basePath);
}

int AcadDetector::ClassifyProductName(const std::string& productName, int lastIndex) const {
    const int last = std::min(lastIndex, kReleaseCount - 1);
    for (int r = 0; r <= last; ++r) {
        // Only the first occurrence counts, and not at the very start.
        const std::size_t at = cp_.Find(productName, kReleases[r].yearText);
        if (at != CodePage::npos && at > 0) return r;
    }
    return -1;
}

}  // namespace tx
