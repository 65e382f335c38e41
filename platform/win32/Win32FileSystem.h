// IFileSystem over the Win32 file calls: the ANSI ones, or the wide ones on
// the converted path where the ANSI call falls short.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

#include "platform/FileSystem.h"

namespace tx {

// Whether an open file is a plain file with one name: neither a reparse
// point (opened as itself with FILE_FLAG_OPEN_REPARSE_POINT) nor a file
// with another name (a hard link), nor a folder.
[[nodiscard]] bool NamesOnePlainFile(HANDLE file);

class Win32FileSystem : public IFileSystem {
public:
    Win32FileSystem() = default;
    // modulePath, when not empty, is what ModulePath gives instead of the
    // name the program was started by; image, when not null, the handle
    // held on the program's own file (not owned: the caller keeps it open
    // for as long as this lives).
    explicit Win32FileSystem(std::string modulePath, HANDLE image = nullptr)
        : modulePath_(std::move(modulePath)), image_(image) {}

    [[nodiscard]] std::string ModulePath() override;
    [[nodiscard]] std::unique_ptr<IFindHandle> FindFirst(const std::string& pattern,
                                                         FindEntry* first) override;
    [[nodiscard]] std::uint32_t GetAttributes(const std::string& path) override;
    OsResult SetAttributes(const std::string& path, std::uint32_t attributes) override;
    OsResult CopyFile(const std::string& source, const std::string& target) override;
    OsResult CreateDirectory(const std::string& path) override;
    [[nodiscard]] std::uint32_t GetEnvironmentVariable(const char* name, char* buffer,
                                                       std::uint32_t capacity) override;
    [[nodiscard]] std::string CurrentDirectory() override;
    OsResult RoamingAppDataFolder(std::string* folder) override;
    OsResult DeleteFile(const std::string& path) override;
    OsResult RemoveDirectory(const std::string& path) override;
    OsResult ReadWholeFile(const std::string& path, std::string* content) override;
    OsResult WriteWholeFile(const std::string& path, const std::string& content) override;
    OsResult ReadProgramImage(std::string* content) override;
    OsResult AppendToFile(const std::string& path, const std::string& text) override;
    OsResult MoveFileAtRestart(const std::string& from, const std::string& to) override;
    OsResult RestartOperationPaths(std::vector<std::string>* paths) override;
    OsResult FileSize(const std::string& path, std::uint64_t* size) override;
    OsResult FlushFile(const std::string& path) override;
    OsResult ReplaceFile(const std::string& from, const std::string& to) override;
    OsResult FileIdentity(const std::string& path, FileId* id) override;
    OsResult HoldForReading(const std::string& path, std::unique_ptr<IHeldFile>* file) override;
    OsResult CopyFromHeld(IHeldFile& source, const std::string& target) override;

private:
    std::string modulePath_;
    HANDLE image_ = nullptr;
};

}  // namespace tx
