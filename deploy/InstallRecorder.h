// Writes the install record while an installation runs: every action is
// appended (and flushed) as it happens, so a run that stops half-way
// leaves a record of what it did.
#pragma once

#include <cstdint>
#include <string>

#include "deploy/InstallRecord.h"
#include "host/InstallJournal.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"

namespace tx {

class InstallRecorder : public IInstallJournal {
public:
    InstallRecorder(IFileSystem& fs, const CodePage& codePage);

    // Continues the record of an earlier installation into this folder, or
    // starts one. Actions reported before are written with the first action
    // that puts something into a folder: a run that only made (empty)
    // folders leaves them as they are, without a record.
    void Open(const std::string& installFolder);
    bool IsOpen() const { return open_; }
    // False once a line could not be written, or the record found was damaged.
    bool Intact() const { return intact_; }
    const InstallRecord& Merged() const { return merged_; }
    std::string RecordPath() const;

    void FolderCreated(const std::string& path) override;
    bool BeforeFileWrite(const std::string& path) override;
    void MachineKeyCreated(const std::string& path) override;
    void DemandLoadWritten(const std::string& keyPath, const std::string& loader) override;
    void TrustedPathsWritten(const std::string& variablesKey, const RegValueState& before,
                             const RegValueState& written) override;
    void UninstallEntryWritten(const std::string& keyPath);
    void UninstallerWritten(const std::string& path);

    // Bytes of the files the installations wrote, as they are now.
    std::uint64_t InstalledBytes();

private:
    void Write(const std::string& line, bool folderOnly = false);

    IFileSystem& fs_;
    const CodePage& cp_;
    bool open_ = false;
    bool intact_ = true;
    bool started_ = false;  // the record file exists
    std::string pending_;
    InstallRecord merged_;
    RecordMerger merger_;
};

}  // namespace tx
