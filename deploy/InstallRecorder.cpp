#include "deploy/InstallRecorder.h"

#include "deploy/PathLimits.h"

namespace tx {

InstallRecorder::InstallRecorder(IFileSystem& fs, const CodePage& codePage)
    : fs_(fs), cp_(codePage), merger_(merged_, codePage) {}

std::string InstallRecorder::RecordPath() const {
    return merged_.installFolder + "\\" + kRecordFileName;
}

void InstallRecorder::Open(const std::string& installFolder) {
    if (open_) return;
    merged_.installFolder = installFolder;
    std::string existing;
    if (fs_.ReadWholeFile(RecordPath(), &existing)) {
        InstallRecord earlier;
        if (ParseRecord(existing, cp_, &earlier)) {
            // What this run did so far is merged after what came before.
            InstallRecord now = std::move(merged_);
            merged_ = std::move(earlier);
            merged_.installFolder = installFolder;
            for (const std::string& f : now.folders) merger_.AddFolder(f);
            for (const RecordedFile& f : now.files) merger_.AddFile(f);
            for (const std::string& k : now.machineKeys) merger_.AddMachineKey(k);
        } else {
            // Appended to all the same: the uninstaller refuses it either
            // way, and nothing this run does goes unwritten.
            intact_ = false;
        }
        started_ = true;
    } else {
        pending_ = RecordHeader(installFolder) + pending_;
    }
    open_ = true;
    Write(std::string(), !started_);
}

void InstallRecorder::Write(const std::string& line, bool folderOnly) {
    pending_ += line;
    if (!open_ || pending_.empty() || (folderOnly && !started_)) return;
    started_ = true;
    if (!fs_.AppendToFile(RecordPath(), pending_)) intact_ = false;
    pending_.clear();
}

void InstallRecorder::FolderCreated(const std::string& path) {
    merger_.AddFolder(path);
    Write(FolderLine(path), /*folderOnly=*/true);
}

bool InstallRecorder::BeforeFileWrite(const std::string& path) {
    if (open_ && (cp_.EqualsNoCase(path, RecordPath()))) return false;
    if (merger_.FindFile(path) != nullptr) return true;  // known from before: first line stays

    std::uint32_t attributes = fs_.GetAttributes(path);
    if (attributes == kInvalidAttributes) {
        // Unreadable attributes are no proof that nothing is there.
        FindEntry entry;
        if (fs_.FindFirst(path, &entry)) attributes = entry.attributes;
    }
    RecordedFile file{path, std::string()};
    if (attributes != kInvalidAttributes) {
        if ((attributes & kAttrDirectory) != 0 || !open_) return false;
        const std::string backups = merged_.installFolder + "\\" + kBackupFolderName;
        if (fs_.CreateDirectory(backups)) FolderCreated(backups);
        const std::size_t slash = cp_.LastBackslash(path);
        const std::string name = slash == CodePage::npos ? path : path.substr(slash + 1);
        std::string backup;
        for (int n = 1;; ++n) {
            backup = backups + "\\" + std::to_string(n) + "-" + name;
            // A backup that cannot be named cannot be made.
            if (!FitsPathBuffer(backup)) return false;
            if (fs_.GetAttributes(backup) == kInvalidAttributes) break;
            if (n >= 10000) return false;
        }
        if (!fs_.CopyFile(path, backup)) return false;
        file.backup = backup;
    }
    merger_.AddFile(file);
    Write(FileLine(file));
    return true;
}

void InstallRecorder::MachineKeyCreated(const std::string& path) {
    merger_.AddMachineKey(path);
    Write(MachineKeyLine(path));
}

void InstallRecorder::DemandLoadWritten(const std::string& keyPath, const std::string& loader) {
    merger_.AddDemandLoad({keyPath, loader});
    Write(DemandLoadLine({keyPath, loader}));
}

void InstallRecorder::TrustedPathsWritten(const std::string& variablesKey,
                                          const RegValueState& before,
                                          const RegValueState& written) {
    const RecordedTrustedPaths entry{variablesKey, before, written};
    merger_.AddTrustedPaths(entry);
    Write(TrustedPathsLine(entry));
}

void InstallRecorder::UninstallEntryWritten(const std::string& keyPath) {
    merger_.AddUninstallEntry(keyPath);
    Write(UninstallEntryLine(keyPath));
}

void InstallRecorder::UninstallerWritten(const std::string& path) {
    merged_.uninstaller = path;
    Write(UninstallerLine(path));
}

std::uint64_t InstallRecorder::InstalledBytes() {
    std::uint64_t total = 0;
    for (const RecordedFile& f : merged_.files) {
        std::uint64_t size = 0;
        if (fs_.FileSize(f.path, &size)) total += size;
    }
    std::uint64_t size = 0;
    if (!merged_.uninstaller.empty() && fs_.FileSize(merged_.uninstaller, &size)) total += size;
    return total;
}

}  // namespace tx
