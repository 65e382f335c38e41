// Decorators that write one log line for each action that changes the
// machine, then hand back exactly what the wrapped interface returned.
// Reads, listings and queries go through unlogged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/FolderSecurity.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "platform/UserIo.h"

namespace tx {

// "ok" for code 0, otherwise "failed (error <code>)".
std::string LogOutcome(std::uint32_t code);

class LoggingFileSystem final : public IFileSystem {
public:
    LoggingFileSystem(IFileSystem& inner, ILog& log) : inner_(inner), log_(log) {}

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
    OsResult RestartOperationPaths(std::vector<std::string>* paths) override {
        return inner_.RestartOperationPaths(paths);
    }
    OsResult FileSize(const std::string& path, std::uint64_t* size) override;
    OsResult FlushFile(const std::string& path) override;
    OsResult ReplaceFile(const std::string& from, const std::string& to) override;
    OsResult FileIdentity(const std::string& path, FileId* id) override;
    OsResult HoldForReading(const std::string& path, std::unique_ptr<IHeldFile>* file) override;
    OsResult CopyFromHeld(IHeldFile& source, const std::string& target) override;

private:
    IFileSystem& inner_;
    ILog& log_;
};

class LoggingRegistry final : public IRegistry {
public:
    LoggingRegistry(IRegistry& inner, ILog& log) : inner_(inner), log_(log) {}

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
    void CloseKey(RegHandle key) override;
    [[nodiscard]] long QueryValueWide(RegHandle key, const char* name, std::uint32_t* type,
                                      unsigned char* data, std::uint32_t* size) override;
    [[nodiscard]] long SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                                    const unsigned char* data, std::uint32_t size) override;
    [[nodiscard]] long DeleteValue(RegHandle key, const char* name) override;
    [[nodiscard]] long QueryValueCount(RegHandle key, std::uint32_t* count) override;
    [[nodiscard]] long EnumValueWide(RegHandle key, std::uint32_t index, std::string* name,
                                     std::uint32_t* type,
                                     std::vector<unsigned char>* data) override;

    // The full path ("HKCU\Software\...") a handle was opened with;
    // "HKLM"/"HKCU" for the predefined roots, "<unknown key>" otherwise.
    std::string PathOf(RegHandle key) const;
    // Handles opened through this registry and not closed yet.
    std::size_t TrackedHandles() const { return paths_.size(); }

private:
    std::string Join(RegHandle parent, const char* path) const;
    void Remember(long rc, RegHandle* out, std::string path);
    [[nodiscard]] long SetAny(bool wide, RegHandle key, const char* name, std::uint32_t type,
                              const unsigned char* data, std::uint32_t size);

    IRegistry& inner_;
    ILog& log_;
    std::map<RegHandle, std::string> paths_;
};

class LoggingMessageBox final : public IMessageBox {
public:
    LoggingMessageBox(IMessageBox& inner, ILog& log) : inner_(inner), log_(log) {}
    [[nodiscard]] int Show(const std::string& text, const std::string& caption,
                           unsigned style) override;

private:
    IMessageBox& inner_;
    ILog& log_;
};

class LoggingFolderSecurity final : public IFolderSecurity {
public:
    LoggingFolderSecurity(IFolderSecurity& inner, ILog& log) : inner_(inner), log_(log) {}
    [[nodiscard]] MakeFolderResult MakeProtectedFolder(const std::string& path) override;
    [[nodiscard]] std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path,
                                                          FolderFacts* facts) override;
    [[nodiscard]] std::unique_ptr<IHeldFolder> HoldUserFolder(const std::string& path,
                                                              FolderFacts* facts) override;
    [[nodiscard]] bool InspectFolder(const std::string& path, FolderFacts* facts) override;
    [[nodiscard]] std::string CurrentUserSid() override { return inner_.CurrentUserSid(); }

private:
    IFolderSecurity& inner_;
    ILog& log_;
};

}  // namespace tx
