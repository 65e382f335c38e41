#include <vector>

#include "deploy/Deployment.h"

namespace tx {

bool Deployer::IsAcadRunning() {
    const std::string wanted = cp_.Lower("acad.exe");
    std::vector<std::string> names;
    if (!procs_.ExecutableNames(&names)) return false;
    for (const std::string& name : names) {
        // Any name holding it counts, so "xacad.exe" does and "acadlt.exe" not.
        if (cp_.Find(cp_.Lower(name), wanted) != CodePage::npos) return true;
    }
    return false;
}

void Deployer::ClearReadOnly(std::string path) {
    std::uint32_t attributes = fs_.GetAttributes(path);
    if (attributes == kInvalidAttributes || (attributes & kAttrReadOnly) == 0) return;
    fs_.SetAttributes(path, attributes & ~kAttrReadOnly);
}

void ClearForOverwrite(IFileSystem& fs, const std::string& path) {
    constexpr std::uint32_t kBlocking = kAttrReadOnly | kAttrHidden | kAttrSystem;
    const std::uint32_t attributes = fs.GetAttributes(path);
    if (attributes == kInvalidAttributes || (attributes & kAttrDirectory) != 0 ||
        (attributes & kBlocking) == 0) {
        return;
    }
    const std::uint32_t cleared = attributes & ~kBlocking;
    fs.SetAttributes(path, cleared == 0 ? kAttrNormal : cleared);
}

void RemoveInternetMark(IFileSystem& fs, const std::string& path) {
    fs.DeleteFile(path + ":Zone.Identifier");
}

int Deployer::FileExists(std::string path) {
    FindEntry first;
    if (!fs_.FindFirst(path, &first)) return kPathMissing;
    return (first.attributes & kAttrDirectory) != 0 ? kPathIsFolder : kPathIsFile;
}

std::string Deployer::GetDataFolder() {
    const std::string program = fs_.ModulePath();
    const std::size_t slash = cp_.LastBackslash(program);
    const std::string folder = slash == CodePage::npos ? std::string() : program.substr(0, slash);
    return folder + "\\Data";
}

}  // namespace tx
