// IFileSystem over the Win32 file calls: the ANSI ones, or the wide ones on
// the converted path where the ANSI call falls short.
#pragma once

#include <string>
#include <utility>

#include "platform/FileSystem.h"

namespace tx {

class Win32FileSystem : public IFileSystem {
public:
    Win32FileSystem() = default;
    // modulePath, when not empty, is what ModulePath gives instead of the
    // name the program was started by.
    explicit Win32FileSystem(std::string modulePath) : modulePath_(std::move(modulePath)) {}

    std::string ModulePath() override;
    std::unique_ptr<IFindHandle> FindFirst(const std::string& pattern, FindEntry* first) override;
    std::uint32_t GetAttributes(const std::string& path) override;
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override;
    bool CopyFile(const std::string& source, const std::string& target) override;
    bool CreateDirectory(const std::string& path) override;
    std::uint32_t GetEnvironmentVariable(const char* name, char* buffer,
                                         std::uint32_t capacity) override;
    std::string CurrentDirectory() override;
    bool RoamingAppDataFolder(std::string* folder) override;
    bool DeleteFile(const std::string& path) override;
    bool RemoveDirectory(const std::string& path) override;
    bool ReadWholeFile(const std::string& path, std::string* content) override;
    bool WriteWholeFile(const std::string& path, const std::string& content) override;
    bool AppendToFile(const std::string& path, const std::string& text) override;
    bool MoveFileAtRestart(const std::string& from, const std::string& to) override;
    bool FileSize(const std::string& path, std::uint64_t* size) override;
    bool FlushFile(const std::string& path) override;
    bool ReplaceFile(const std::string& from, const std::string& to) override;
    std::uint32_t LastError() override;

private:
    std::string modulePath_;
};

}  // namespace tx
