#include "platform/Logging.h"

#include "platform/TextFormat.h"

#include <vector>

namespace tx {
namespace {

constexpr const char* kTrustedPaths = "TRUSTEDPATHS";
constexpr const char* kUnknownKey = "<unknown key>";

std::string RegOutcome(long rc) { return LogOutcome(rc == kRegOk, static_cast<std::uint32_t>(rc)); }

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

bool IsTrustedPaths(const char* name) {
    if (name == nullptr) return false;
    const char* t = kTrustedPaths;
    for (; *name != '\0' && *t != '\0'; ++name, ++t) {
        char c = *name;
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != *t) return false;
    }
    return *name == '\0' && *t == '\0';
}

// Length in UTF-16 code units up to the first NUL; -1 when the value is
// missing or cannot be read.
long WideLength(IRegistry& reg, RegHandle key, const char* name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (reg.QueryValueWide(key, name, &type, nullptr, &size) != kRegOk) return -1;
    std::vector<unsigned char> data(size + 2u, 0);
    std::uint32_t got = size;
    if (reg.QueryValueWide(key, name, &type, data.data(), &got) != kRegOk) return -1;
    const std::size_t units = got / 2;
    std::size_t n = 0;
    while (n < units && (data[2 * n] != 0 || data[2 * n + 1] != 0)) ++n;
    return static_cast<long>(n);
}

std::string LengthText(long units) { return units < 0 ? std::string("none") : std::to_string(units); }

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

std::string LogOutcome(bool ok, std::uint32_t error) {
    return ok ? std::string("ok") : "failed (error " + std::to_string(error) + ")";
}

// --- LoggingFileSystem ---------------------------------------------------

std::string LoggingFileSystem::ModulePath() {
    std::string r = inner_.ModulePath();
    Capture();
    return r;
}

std::unique_ptr<IFindHandle> LoggingFileSystem::FindFirst(const std::string& pattern,
                                                          FindEntry* first) {
    auto r = inner_.FindFirst(pattern, first);
    Capture();
    return r;
}

std::uint32_t LoggingFileSystem::GetAttributes(const std::string& path) {
    const std::uint32_t r = inner_.GetAttributes(path);
    Capture();
    return r;
}

bool LoggingFileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    const bool ok = inner_.SetAttributes(path, attributes);
    const std::uint32_t error = Capture();
    if (!ok) log_.Line("set attributes " + Hex(attributes) + " " + path + " -> " + LogOutcome(ok, error));
    return ok;
}

bool LoggingFileSystem::CopyFile(const std::string& source, const std::string& target) {
    const bool ok = inner_.CopyFile(source, target);
    const std::uint32_t error = Capture();
    log_.Line("copy " + source + " to " + target + " -> " + LogOutcome(ok, error));
    return ok;
}

bool LoggingFileSystem::CreateDirectory(const std::string& path) {
    const bool ok = inner_.CreateDirectory(path);
    const std::uint32_t error = Capture();
    log_.Line("create folder " + path + " -> " + LogOutcome(ok, error));
    return ok;
}

std::uint32_t LoggingFileSystem::GetEnvironmentVariable(const char* name, char* buffer,
                                                        std::uint32_t capacity) {
    const std::uint32_t r = inner_.GetEnvironmentVariable(name, buffer, capacity);
    Capture();
    return r;
}

std::string LoggingFileSystem::CurrentDirectory() {
    std::string r = inner_.CurrentDirectory();
    Capture();
    return r;
}

bool LoggingFileSystem::RoamingAppDataFolder(std::string* folder) {
    const bool ok = inner_.RoamingAppDataFolder(folder);
    Capture();
    return ok;
}

bool LoggingFileSystem::DeleteFile(const std::string& path) {
    const bool ok = inner_.DeleteFile(path);
    const std::uint32_t error = Capture();
    log_.Line("delete file " + path + " -> " + LogOutcome(ok, error));
    return ok;
}

bool LoggingFileSystem::RemoveDirectory(const std::string& path) {
    const bool ok = inner_.RemoveDirectory(path);
    const std::uint32_t error = Capture();
    log_.Line("remove folder " + path + " -> " + LogOutcome(ok, error));
    return ok;
}

bool LoggingFileSystem::ReadWholeFile(const std::string& path, std::string* content) {
    const bool ok = inner_.ReadWholeFile(path, content);
    Capture();
    return ok;
}

bool LoggingFileSystem::WriteWholeFile(const std::string& path, const std::string& content) {
    const bool ok = inner_.WriteWholeFile(path, content);
    const std::uint32_t error = Capture();
    log_.Line("write file " + path + " (" + std::to_string(content.size()) + " bytes) -> " +
              LogOutcome(ok, error));
    return ok;
}

bool LoggingFileSystem::AppendToFile(const std::string& path, const std::string& text) {
    // The install record grows line by line: only a failure is worth a line.
    const bool ok = inner_.AppendToFile(path, text);
    const std::uint32_t error = Capture();
    if (!ok) log_.Line("append to " + path + " -> " + LogOutcome(ok, error));
    return ok;
}

bool LoggingFileSystem::MoveFileAtRestart(const std::string& from, const std::string& to) {
    const bool ok = inner_.MoveFileAtRestart(from, to);
    const std::uint32_t error = Capture();
    if (to.empty())
        log_.Line("delete at restart " + from + " -> " + LogOutcome(ok, error));
    else
        log_.Line("move at restart " + from + " to " + to + " -> " + LogOutcome(ok, error));
    return ok;
}

bool LoggingFileSystem::FileSize(const std::string& path, std::uint64_t* size) {
    const bool ok = inner_.FileSize(path, size);
    Capture();
    return ok;
}

bool LoggingFileSystem::FlushFile(const std::string& path) {
    // A journal is flushed entry by entry: only a failure is worth a line.
    const bool ok = inner_.FlushFile(path);
    const std::uint32_t error = Capture();
    if (!ok) log_.Line("flush " + path + " -> " + LogOutcome(ok, error));
    return ok;
}

bool LoggingFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
    const bool ok = inner_.ReplaceFile(from, to);
    const std::uint32_t error = Capture();
    log_.Line("replace " + to + " with " + from + " -> " + LogOutcome(ok, error));
    return ok;
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
    const bool trusted = IsTrustedPaths(name);
    const long before = trusted ? WideLength(inner_, key, name) : -1;
    const long rc = wide ? inner_.SetValueWide(key, name, type, data, size)
                         : inner_.SetValue(key, name, type, data, size);
    if (trusted) {
        const std::string head = "TRUSTEDPATHS " + PathOf(key) + ": " + LengthText(before);
        if (rc == kRegOk)
            log_.Line(head + " -> " + LengthText(WideLength(inner_, key, name)) + " characters");
        else
            log_.Line(head + " characters, not written -> " + RegOutcome(rc));
    } else {
        log_.Line("set value " + PathOf(key) + " : " + ValueName(name) + " (" + TypeName(type) +
                  ", " + std::to_string(size) + " bytes) -> " + RegOutcome(rc));
    }
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
    const bool trusted = IsTrustedPaths(name);
    const long before = trusted ? WideLength(inner_, key, name) : -1;
    const long rc = inner_.DeleteValue(key, name);
    if (trusted && rc == kRegOk)
        log_.Line("TRUSTEDPATHS " + PathOf(key) + ": " + LengthText(before) + " -> none characters");
    else
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
    if (facts.keepsAccessLists) what += ", others " + Hex(facts.othersRights);
    return what;
}

}  // namespace

std::unique_ptr<IHeldFolder> LoggingFolderSecurity::HoldFolder(const std::string& path,
                                                               FolderFacts* facts) {
    auto held = inner_.HoldFolder(path, facts);
    if (!held) {
        log_.Line("hold folder " + path + " -> refused");
    } else if (facts != nullptr) {
        log_.Line("hold folder " + path + " -> held (" + FactsText(*facts) + ")");
    } else {
        log_.Line("hold folder " + path + " -> held");
    }
    return held;
}

bool LoggingFolderSecurity::InspectFolder(const std::string& path, FolderFacts* facts) {
    const bool seen = inner_.InspectFolder(path, facts);
    log_.Line("inspect folder " + path + " -> " +
              (seen ? "seen (" + FactsText(*facts) + ")" : std::string("refused")));
    return seen;
}

}  // namespace tx
