#include "deploy/Deployment.h"
#include "deploy/PathLimits.h"

namespace tx {

namespace {
constexpr int kDriverReleaseIndex = ReleaseIndexOfYear(2008);
}  // namespace

void Deployer::DeploySupportFiles(const CAcadInfo& info, const TickFlags& ticked) {
    for (int r = 0; r < kReleaseCount; ++r) {
        if (ticked[r] == 0) continue;
        const StringList& locations = info.m_arrAcadLocation[r];
        const std::size_t count = locations.size();
        for (std::size_t j = 0; j < count; ++j) {
            CopySupportFiles(locations[j], r == kDriverReleaseIndex);
        }
    }
}

void Deployer::CopySupportFiles(const std::string& acadLocation, bool withDriver) {
    const std::string data = GetDataFolder();
    const std::string fonts = acadLocation + "\\Fonts";
    CopySupportFile(data + "\\Tarnix_EN.shx", fonts + "\\Tarnix_EN.shx");
    CopySupportFile(data + "\\Tarnix_HZ.shx", fonts + "\\Tarnix_HZ.shx");
    if (withDriver) {
        CopySupportFile(data + "\\Tarnix.prt5", acadLocation + "\\Drv\\pdfplot9.hdi");
    }
}

void Deployer::CopySupportFile(const std::string& source, const std::string& target) {
    // Support files are best effort: a path that does not fit is skipped.
    if (!FitsPathBuffer(source) || !FitsPathBuffer(target)) return;
    // Before anything touches the target, so its backup is the file as it was.
    if (journal_ != nullptr && !journal_->BeforeFileWrite(target)) return;
    // Cleared before the copy so a read-only or hidden target is replaced,
    // and after it so nothing deployed stays read-only.
    ClearReadOnly(source);
    ClearForOverwrite(target);
    const bool copied = fs_.CopyFile(source, target);
    ClearReadOnly(source);
    ClearReadOnly(target);
    if (copied) RemoveInternetMark(target);
}

}  // namespace tx
