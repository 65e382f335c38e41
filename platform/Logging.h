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

// "ok", or "failed (error <code>)" when ok is false.
std::string LogOutcome(bool ok, std::uint32_t error);

class LoggingFileSystem final : public IFileSystem {
public:
    LoggingFileSystem(IFileSystem& inner, ILog& log) : inner_(inner), log_(log) {}

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
    // The code taken right after the last call: writing the log line may
    // overwrite the system's own by then.
    std::uint32_t LastError() override { return lastError_; }

private:
    std::uint32_t Capture() { return lastError_ = inner_.LastError(); }

    IFileSystem& inner_;
    ILog& log_;
    std::uint32_t lastError_ = 0;
};

class LoggingRegistry final : public IRegistry {
public:
    LoggingRegistry(IRegistry& inner, ILog& log) : inner_(inner), log_(log) {}

    long OpenRoot(RegRoot root, RegHandle* out) override;
    long OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) override;
    long OpenKey(RegHandle parent, const char* path, RegHandle* out) override;
    long CreateKey(RegHandle parent, const char* path, RegHandle* out) override;
    long DeleteKey(RegHandle parent, const char* path) override;
    long QuerySubkeyCount(RegHandle key, std::uint32_t* count) override;
    long EnumKey(RegHandle key, std::uint32_t index, char* name,
                 std::uint32_t* capacity) override;
    long QueryValue(RegHandle key, const char* name, std::uint32_t* type,
                    unsigned char* data, std::uint32_t* size) override;
    long SetValue(RegHandle key, const char* name, std::uint32_t type,
                  const unsigned char* data, std::uint32_t size) override;
    void CloseKey(RegHandle key) override;
    long QueryValueWide(RegHandle key, const char* name, std::uint32_t* type,
                        unsigned char* data, std::uint32_t* size) override;
    long SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                      const unsigned char* data, std::uint32_t size) override;
    long DeleteValue(RegHandle key, const char* name) override;
    long QueryValueCount(RegHandle key, std::uint32_t* count) override;
    long EnumValueWide(RegHandle key, std::uint32_t index, std::string* name,
                       std::uint32_t* type, std::vector<unsigned char>* data) override;

    // The full path ("HKCU\Software\...") a handle was opened with;
    // "HKLM"/"HKCU" for the predefined roots, "<unknown key>" otherwise.
    std::string PathOf(RegHandle key) const;
    // Handles opened through this registry and not closed yet.
    std::size_t TrackedHandles() const { return paths_.size(); }

private:
    std::string Join(RegHandle parent, const char* path) const;
    void Remember(long rc, RegHandle* out, std::string path);
    long SetAny(bool wide, RegHandle key, const char* name, std::uint32_t type,
                const unsigned char* data, std::uint32_t size);

    IRegistry& inner_;
    ILog& log_;
    std::map<RegHandle, std::string> paths_;
};

class LoggingMessageBox final : public IMessageBox {
public:
    LoggingMessageBox(IMessageBox& inner, ILog& log) : inner_(inner), log_(log) {}
    int Show(const std::string& text, const std::string& caption, unsigned style) override;

private:
    IMessageBox& inner_;
    ILog& log_;
};

class LoggingFolderSecurity final : public IFolderSecurity {
public:
    LoggingFolderSecurity(IFolderSecurity& inner, ILog& log) : inner_(inner), log_(log) {}
    MakeFolderResult MakeProtectedFolder(const std::string& path) override;
    std::unique_ptr<IHeldFolder> HoldFolder(const std::string& path, FolderFacts* facts) override;
    bool InspectFolder(const std::string& path, FolderFacts* facts) override;
    std::string CurrentUserSid() override { return inner_.CurrentUserSid(); }

private:
    IFolderSecurity& inner_;
    ILog& log_;
};

}  // namespace tx
