#include "engine/PathRules.h"

#include <cstring>
#include <utility>

namespace tx {

namespace {

bool IsEdgeByte(unsigned char b) { return b == '\t' || b == ' ' || b == '.'; }

bool IsForbiddenByte(unsigned char b) {
    switch (b) {
        case '"':
        case '*':
        case '/':
        case ':':
        case '<':
        case '>':
        case '?':
        case '\\':
        case '|':
            return true;
        default:
            return false;
    }
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Walks the names after "X:\" left to right and calls atLevel with the
// path up to and including each valid one; atLevel returning false stops
// the walk with kPathCannotCreate. A drive root alone has no level.
template <class AtLevel>
int WalkLevels(const std::string& path, const CodePage& codePage, AtLevel atLevel) {
    const std::size_t len = path.size();
    if (len < 3) return kPathInvalid;
    if (!IsAsciiLetter(path[0]) || path[1] != ':' || path[2] != '\\') return kPathInvalid;
    if (len == 3) return kPathValid;

    std::size_t start = 3;
    for (;;) {
        std::size_t end = start;
        while (end < len && path[end] != '\\') end += codePage.CharLength(path, end);

        const std::string component = path.substr(start, end - start);
        if (!IsValidPathComponent(component.c_str(), codePage)) return kPathInvalid;
        if (!atLevel(path.substr(0, end))) return kPathCannotCreate;

        if (end >= len) return kPathValid;
        start = end + 1;  // a trailing backslash leaves an empty, invalid name
    }
}

}  // namespace

bool IsWellFormedFolderPath(const std::string& path, const CodePage& codePage) {
    return WalkLevels(path, codePage, [](const std::string&) { return true; }) == kPathValid;
}

bool IsValidPathComponent(const char* name, const CodePage& codePage) {
    if (name == nullptr || *name == '\0') return false;
    const std::size_t len = std::strlen(name);
    if (IsEdgeByte(static_cast<unsigned char>(name[0]))) return false;

    std::size_t lastStart = 0;
    std::size_t lastLen = 1;
    for (std::size_t i = 0; i < len;) {
        const std::size_t n = codePage.CharLength(name, len, i);
        // The second byte of a double-byte character may look like '\' or
        // '|'; only single-byte characters are tested.
        if (n == 1 && IsForbiddenByte(static_cast<unsigned char>(name[i]))) return false;
        lastStart = i;
        lastLen = n;
        i += n;
    }
    return !(lastLen == 1 && IsEdgeByte(static_cast<unsigned char>(name[lastStart])));
}

std::string AppTitleFromModulePath(const std::string& modulePath, const CodePage& codePage) {
    const std::size_t slash = codePage.LastBackslash(modulePath);
    std::string name = slash == CodePage::npos ? modulePath : modulePath.substr(slash + 1);
    const std::size_t dot = codePage.FindLastChar(name, '.');
    if (dot != CodePage::npos) name.erase(dot);
    return name;
}

FolderRules::FolderRules(IFileSystem& fileSystem, IFolderQuestions& questions,
                         const CodePage& codePage)
    : fileSystem_(fileSystem), questions_(questions), codePage_(codePage) {}

int FolderRules::CheckOrCreatePath(const char* path, bool checkOnly) const {
    if (path == nullptr) return kPathInvalid;
    const std::string work(path);
    const std::size_t len = work.size();
    // Folders are handled in MAX_PATH buffers; a longer text is refused
    // rather than cut short into some other folder.
    if (len >= kMaxPath) return kPathInvalid;
    if (checkOnly) return IsWellFormedFolderPath(work, codePage_) ? kPathValid : kPathInvalid;

    if (len == 3 && IsWellFormedFolderPath(work, codePage_)) {
        return fileSystem_.GetAttributes(work) != kInvalidAttributes ? kPathValid
                                                                     : kPathCannotCreate;
    }
    return WalkLevels(work, codePage_, [this](const std::string& level) {
        // An existing level is no error: whether each level is there is
        // what counts.
        (void)fileSystem_.CreateDirectory(level);
        return fileSystem_.GetAttributes(level) != kInvalidAttributes;
    });
}

int FolderRules::ConfirmFolder(const char* path) const {
    const std::string text = path == nullptr ? std::string() : std::string(path);

    if (CheckOrCreatePath(path, true) == kPathInvalid) {
        Report(kPathInvalid, text);
        return kPathInvalid;
    }
    if (fileSystem_.GetAttributes(text) != kInvalidAttributes) return kPathValid;

    if (!questions_.CreateMissing(text)) return kPathDeclined;

    const int created = CheckOrCreatePath(path, false);
    if (created == kPathInvalid || created == kPathCannotCreate) {
        Report(created, text);
        return created;
    }
    return kPathValid;
}

void FolderRules::Report(int result, const std::string& path) const {
    if (result == kPathInvalid)
        questions_.Invalid(path);
    else
        questions_.NotCreated(path);
}

}  // namespace tx
