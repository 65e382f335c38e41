#include "platform/Logging.h"

#include "platform/TextFormat.h"

#include <vector>

namespace tx {
namespace {

constexpr const char* kUnknownKey = "<unknown key>";

std::string RegOutcome(long rc) { return LogOutcome(static_cast<std::uint32_t>(rc)); }

std::string Hex(unsigned value) { return HexText(value); }

std::string TypeName(std::uint32_t type) {
    switch (type) {
    case kRegSz: return "REG_SZ";
    case kRegExpandSz: return "REG_EXPAND_SZ";
    case kRegDword: return "REG_DWORD";
    case kRegMultiSz: return "REG_MULTI_SZ";
    default: return "type " + std::to_string(type);
    }
}

std::string ValueName(const char* name) {
    return name == nullptr || *name == '\0' ? std::string("(default)") : std::string(name);
}

std::string AnswerName(int answer) {
    switch (answer) {
    case kIdOk: return "OK";
    case kIdCancel: return "Cancel";
    case kIdAbort: return "Abort";
    case kIdRetry: return "Retry";
    case kIdIgnore: return "Ignore";
    case kIdYes: return "Yes";
    case kIdNo: return "No";
    default: return std::to_string(answer);
    }
}

// Each line break ("\r\n", "\n" or "\r") as " / ", so a box is one line.
std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += " / ";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string LogOutcome(std::uint32_t code) {
    return code == 0 ? std::string("ok") : "failed (error " + std::to_string(code) + ")";
}

// --- LoggingFileSystem ---------------------------------------------------

std::string LoggingFileSystem::ModulePath() { return inner_.ModulePath(); }

std::unique_ptr<IFindHandle> LoggingFileSystem::FindFirst(const std::string& pattern,
                                                          FindEntry* first) {
    return inner_.FindFirst(pattern, first);
}

std::uint32_t LoggingFileSystem::GetAttributes(const std::string& path) {
    return inner_.GetAttributes(path);
}

OsResult LoggingFileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    const OsResult r = inner_.SetAttributes(path, attributes);
    if (!r)
        log_.Line("set attributes " + Hex(attributes) + " " + path + " -> " + LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::CopyFile(const std::string& source, const std::string& target) {
    const OsResult r = inner_.CopyFile(source, target);
    log_.Line("copy " + source + " to " + target + " -> " + LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::CreateDirectory(const std::string& path) {
    const OsResult r = inner_.CreateDirectory(path);
    log_.Line("create folder " + path + " -> " + LogOutcome(r.Code()));
    return r;
}

std::uint32_t LoggingFileSystem::GetEnvironmentVariable(const char* name, char* buffer,
                                                        std::uint32_t capacity) {
    return inner_.GetEnvironmentVariable(name, buffer, capacity);
}

std::string LoggingFileSystem::CurrentDirectory() { return inner_.CurrentDirectory(); }

OsResult LoggingFileSystem::RoamingAppDataFolder(std::string* folder) {
    return inner_.RoamingAppDataFolder(folder);
}

OsResult LoggingFileSystem::DeleteFile(const std::string& path) {
    const OsResult r = inner_.DeleteFile(path);
    log_.Line("delete file " + path + " -> " + LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::RemoveDirectory(const std::string& path) {
    const OsResult r = inner_.RemoveDirectory(path);
    log_.Line("remove folder " + path + " -> " + LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::ReadWholeFile(const std::string& path, std::string* content) {
    return inner_.ReadWholeFile(path, content);
}

OsResult LoggingFileSystem::WriteWholeFile(const std::string& path, const std::string& content) {
    const OsResult r = inner_.WriteWholeFile(path, content);
    log_.Line("write file " + path + " (" + std::to_string(content.size()) + " bytes) -> " +
              LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::ReadProgramImage(std::string* content) {
    return inner_.ReadProgramImage(content);
}

OsResult LoggingFileSystem::AppendToFile(const std::string& path, const std::string& text) {
    // The install record grows line by line: only a failure is worth a line.
    const OsResult r = inner_.AppendToFile(path, text);
    if (!r) log_.Line("append to " + path + " -> " + LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::MoveFileAtRestart(const std::string& from, const std::string& to) {
    const OsResult r = inner_.MoveFileAtRestart(from, to);
    if (to.empty())
        log_.Line("delete at restart " + from + " -> " + LogOutcome(r.Code()));
    else
        log_.Line("move at restart " + from + " to " + to + " -> " + LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::FileSize(const std::string& path, std::uint64_t* size) {
    return inner_.FileSize(path, size);
}

OsResult LoggingFileSystem::FlushFile(const std::string& path) {
    // A journal is flushed entry by entry: only a failure is worth a line.
    const OsResult r = inner_.FlushFile(path);
    if (!r) log_.Line("flush " + path + " -> " + LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
    const OsResult r = inner_.ReplaceFile(from, to);
    log_.Line("replace " + to + " with " + from + " -> " + LogOutcome(r.Code()));
    return r;
}

OsResult LoggingFileSystem::FileIdentity(const std::string& path, FileId* id) {
    return inner_.FileIdentity(path, id);
}

OsResult LoggingFileSystem::HoldForReading(const std::string& path,
                                           std::unique_ptr<IHeldFile>* file) {
    return inner_.HoldForReading(path, file);
}

OsResult LoggingFileSystem::CopyFromHeld(IHeldFile& source, const std::string& target) {
    const OsResult r = inner_.CopyFromHeld(source, target);
    log_.Line("copy " + source.Path() + " (held) to " + target + " -> " + LogOutcome(r.Code()));
    return r;
}

// --- LoggingRegistry -----------------------------------------------------

std::string LoggingRegistry::PathOf(RegHandle key) const {
    if (key == kHkeyLocalMachine) return "HKLM";
    if (key == kHkeyCurrentUser) return "HKCU";
    auto it = paths_.find(key);
    return it != paths_.end() ? it->second : std::string(kUnknownKey);
}

std::string LoggingRegistry::Join(RegHandle parent, const char* path) const {
    std::string full = PathOf(parent);
    if (path != nullptr && *path != '\0') full += std::string("\\") + path;
    return full;
}

void LoggingRegistry::Remember(long rc, RegHandle* out, std::string path) {
    if (rc != kRegOk || out == nullptr || *out == 0) return;
    // A predefined root is never tracked: closing it is a no-op.
    if (*out == kHkeyLocalMachine || *out == kHkeyCurrentUser) return;
    paths_[*out] = std::move(path);
}

long LoggingRegistry::OpenRoot(RegRoot root, RegHandle* out) {
    const long rc = inner_.OpenRoot(root, out);
    Remember(rc, out, root == RegRoot::LocalMachine ? "HKLM" : "HKCU");
    return rc;
}

long LoggingRegistry::OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) {
    std::string full = Join(parent, sub);
    const long rc = inner_.OpenKeyRead(parent, sub, out);
    Remember(rc, out, std::move(full));
    return rc;
}

long LoggingRegistry::OpenKey(RegHandle parent, const char* path, RegHandle* out) {
    std::string full = Join(parent, path);
    const long rc = inner_.OpenKey(parent, path, out);
    Remember(rc, out, std::move(full));
    return rc;
}

long LoggingRegistry::CreateKey(RegHandle parent, const char* path, RegHandle* out) {
    std::string full = Join(parent, path);
    const long rc = inner_.CreateKey(parent, path, out);
    log_.Line("create key " + full + " -> " + RegOutcome(rc));
    Remember(rc, out, std::move(full));
    return rc;
}

long LoggingRegistry::DeleteKey(RegHandle parent, const char* path) {
    const std::string full = Join(parent, path);
    const long rc = inner_.DeleteKey(parent, path);
    log_.Line("delete key " + full + " -> " + RegOutcome(rc));
    return rc;
}

long LoggingRegistry::QuerySubkeyCount(RegHandle key, std::uint32_t* count) {
    return inner_.QuerySubkeyCount(key, count);
}

long LoggingRegistry::EnumKey(RegHandle key, std::uint32_t index, char* name,
                              std::uint32_t* capacity) {
    return inner_.EnumKey(key, index, name, capacity);
}

long LoggingRegistry::QueryValue(RegHandle key, const char* name, std::uint32_t* type,
                                 unsigned char* data, std::uint32_t* size) {
    return inner_.QueryValue(key, name, type, data, size);
}

long LoggingRegistry::SetAny(bool wide, RegHandle key, const char* name, std::uint32_t type,
                             const unsigned char* data, std::uint32_t size) {
    const long rc = wide ? inner_.SetValueWide(key, name, type, data, size)
                         : inner_.SetValue(key, name, type, data, size);
    log_.Line("set value " + PathOf(key) + " : " + ValueName(name) + " (" + TypeName(type) +
              ", " + std::to_string(size) + " bytes) -> " + RegOutcome(rc));
    return rc;
}

long LoggingRegistry::SetValue(RegHandle key, const char* name, std::uint32_t type,
                               const unsigned char* data, std::uint32_t size) {
    return SetAny(false, key, name, type, data, size);
}

long LoggingRegistry::SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                                   const unsigned char* data, std::uint32_t size) {
    return SetAny(true, key, name, type, data, size);
}

void LoggingRegistry::CloseKey(RegHandle key) {
    inner_.CloseKey(key);
    paths_.erase(key);
}

long LoggingRegistry::QueryValueWide(RegHandle key, const char* name, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* size) {
    return inner_.QueryValueWide(key, name, type, data, size);
}

long LoggingRegistry::DeleteValue(RegHandle key, const char* name) {
    const long rc = inner_.DeleteValue(key, name);
    log_.Line("delete value " + PathOf(key) + " : " + ValueName(name) + " -> " + RegOutcome(rc));
    return rc;
}

long LoggingRegistry::QueryValueCount(RegHandle key, std::uint32_t* count) {
    return inner_.QueryValueCount(key, count);
}

long LoggingRegistry::EnumValueWide(RegHandle key, std::uint32_t index, std::string* name,
                                    std::uint32_t* type, std::vector<unsigned char>* data) {
    return inner_.EnumValueWide(key, index, name, type, data);
}

// --- LoggingMessageBox ---------------------------------------------------

int LoggingMessageBox::Show(const std::string& text, const std::string& caption, unsigned style) {
    const int answer = inner_.Show(text, caption, style);
    log_.Line("message box \"" + caption + "\" " + Hex(style) + ": " + OneLine(text) + " -> " +
              AnswerName(answer));
    return answer;
}

// --- LoggingFolderSecurity -----------------------------------------------

MakeFolderResult LoggingFolderSecurity::MakeProtectedFolder(const std::string& path) {
    const MakeFolderResult r = inner_.MakeProtectedFolder(path);
    const char* what = r == MakeFolderResult::Created        ? "created"
                       : r == MakeFolderResult::AlreadyThere ? "already there"
                                                             : "failed";
    log_.Line("make protected folder " + path + " -> " + what);
    return r;
}

namespace {

std::string FactsText(const FolderFacts& facts) {
    std::string what = facts.directory ? "folder" : "not a folder";
    if (facts.reparsePoint) what += ", link";
    if (!facts.keepsAccessLists) what += ", no access lists";
    what += ", owner " + (facts.ownerSid.empty() ? std::string("unknown") : facts.ownerSid);
    if (!facts.ownerKept) what += " (made up by the system)";
    if (facts.keepsAccessLists) what += ", others " + Hex(facts.othersRights);
    if (facts.keepsAccessLists && facts.userRights != 0) what += ", user " + Hex(facts.userRights);
    return what;
}

std::unique_ptr<IHeldFolder> LoggedHold(std::unique_ptr<IHeldFolder> held, const char* what,
                                        const std::string& path, const FolderFacts* facts,
                                        ILog& log) {
    if (!held) {
        log.Line(std::string(what) + " " + path + " -> refused");
    } else if (facts != nullptr) {
        log.Line(std::string(what) + " " + path + " -> held (" + FactsText(*facts) + ")");
    } else {
        log.Line(std::string(what) + " " + path + " -> held");
    }
    return held;
}

}  // namespace

std::unique_ptr<IHeldFolder> LoggingFolderSecurity::HoldFolder(const std::string& path,
                                                               FolderFacts* facts) {
    return LoggedHold(inner_.HoldFolder(path, facts), "hold folder", path, facts, log_);
}

std::unique_ptr<IHeldFolder> LoggingFolderSecurity::HoldUserFolder(const std::string& path,
                                                                   FolderFacts* facts) {
    return LoggedHold(inner_.HoldUserFolder(path, facts), "hold user folder (read-only sharing)",
                      path, facts, log_);
}

bool LoggingFolderSecurity::InspectFolder(const std::string& path, FolderFacts* facts) {
    const bool seen = inner_.InspectFolder(path, facts);
    log_.Line("inspect folder " + path + " -> " +
              (seen ? "seen (" + FactsText(*facts) + ")" : std::string("refused")));
    return seen;
}

}  // namespace tx
