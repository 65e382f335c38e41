#include "tests/fakes/FakeFileSystem.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tx {

namespace {

// A file as HoldForReading opened it; its hold goes when it is destroyed.
class FakeHeldFile : public IHeldFile {
public:
    FakeHeldFile(std::string path, std::string content, HeldFileFacts facts, std::string key,
                 std::shared_ptr<std::map<std::string, int>> holds)
        : path_(std::move(path)), content_(std::move(content)), facts_(facts), key_(std::move(key)),
          holds_(std::move(holds)) {
        ++(*holds_)[key_];
    }
    ~FakeHeldFile() override {
        if (--(*holds_)[key_] <= 0) holds_->erase(key_);
    }
    FakeHeldFile(const FakeHeldFile&) = delete;
    FakeHeldFile& operator=(const FakeHeldFile&) = delete;

    const std::string& Path() const override { return path_; }
    OsResult Facts(HeldFileFacts* facts) override {
        *facts = facts_;
        return OsResult::Ok();
    }
    OsResult Read(std::uint64_t offset, char* buffer, std::size_t size, std::size_t* read) override {
        *read = 0;
        if (offset >= content_.size()) return OsResult::Ok();
        *read = std::min<std::size_t>(size, content_.size() - static_cast<std::size_t>(offset));
        std::memcpy(buffer, content_.data() + offset, *read);
        return OsResult::Ok();
    }

private:
    std::string path_;
    std::string content_;
    HeldFileFacts facts_;
    std::string key_;
    std::shared_ptr<std::map<std::string, int>> holds_;
};

// A listing taken when it is opened; counts itself open until destroyed.
class FakeFindHandle : public IFindHandle {
public:
    FakeFindHandle(std::vector<FindEntry> rest, std::shared_ptr<int> open)
        : rest_(std::move(rest)), open_(std::move(open)) {
        ++*open_;
    }
    ~FakeFindHandle() override { --*open_; }
    FakeFindHandle(const FakeFindHandle&) = delete;
    FakeFindHandle& operator=(const FakeFindHandle&) = delete;

    [[nodiscard]] bool Next(FindEntry* entry) override {
        if (next_ >= rest_.size()) return false;
        *entry = rest_[next_++];
        return true;
    }

private:
    std::vector<FindEntry> rest_;
    std::size_t next_ = 0;
    std::shared_ptr<int> open_;
};

bool HasWildcard(const std::string& s) {
    return s.find('*') != std::string::npos || s.find('?') != std::string::npos;
}

bool Glob(const char* p, const char* s) {
    if (*p == '\0') return *s == '\0';
    if (*p == '*') return Glob(p + 1, s) || (*s != '\0' && Glob(p, s + 1));
    if (*s == '\0') return false;
    return (*p == '?' || *p == *s) && Glob(p + 1, s + 1);
}

bool Contains(const std::vector<std::string>& keys, const std::string& key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

}  // namespace

FakeFileSystem::FakeFileSystem(unsigned codePage) : cp_(codePage) {}

std::string FakeFileSystem::Normalise(const std::string& path) const {
    // "\\?\" passes the rest to the file system as it is.
    const bool literal = path.compare(0, 4, "\\\\?\\") == 0;
    const std::size_t from = literal ? 4 : 0;
    // Runs of backslashes count as one and a trailing one is dropped, as the
    // Win32 path functions do. A trail byte 0x5C is not a separator.
    std::string out;
    bool lastWasSlash = false;
    for (std::size_t i = from; i < path.size();) {
        std::size_t len = cp_.CharLength(path, i);
        bool slash = len == 1 && path[i] == '\\';
        if (!(slash && lastWasSlash)) out.append(path, i, len);
        lastWasSlash = slash;
        i += len;
    }
    if (cp_.EndsWithBackslash(out)) out.pop_back();
    if (literal) return out;
    // They also drop the trailing dots and spaces of the last name (neither
    // byte is ever a trail byte). A name of dots alone is a step up or none,
    // which nothing here uses.
    const std::size_t slash = cp_.LastBackslash(out);
    const std::size_t start = slash == CodePage::npos ? 0 : slash + 1;
    std::size_t end = out.size();
    while (end > start && (out[end - 1] == '.' || out[end - 1] == ' ')) --end;
    if (end > start && out.find_first_not_of('.', start) < end) out.erase(end);
    return out;
}

std::string FakeFileSystem::Resolve(const std::string& normalised) const {
    // Only a name with a tilde can be a short one.
    if (normalised.find('~') == std::string::npos) return normalised;
    std::string out;
    std::size_t start = 0;
    while (start <= normalised.size()) {
        std::size_t end = start;
        while (end < normalised.size() &&
               !(cp_.CharLength(normalised, end) == 1 && normalised[end] == '\\'))
            end += cp_.CharLength(normalised, end);
        const std::string name = normalised.substr(start, end - start);
        if (start == 0) {
            out = name;  // the drive
        } else {
            std::string next = out + "\\" + name;
            if (nodes_.count(cp_.Lower(next)) == 0) {
                const std::string folderKey = cp_.Lower(out);
                for (const auto& [key, node] : nodes_) {
                    if (!node.shortName.empty() && cp_.EqualsNoCase(node.shortName, name) &&
                        !IsRoot(node.path) && cp_.Lower(ParentOf(node.path)) == folderKey) {
                        next = node.path;
                        break;
                    }
                }
            }
            out = next;
        }
        start = end + 1;
    }
    return out;
}

namespace {

// Bytes an 8.3 name cannot hold besides spaces and dots.
bool NotInShortNames(char c) {
    return c == '+' || c == ',' || c == ';' || c == '=' || c == '[' || c == ']';
}

}  // namespace

std::string FakeFileSystem::MakeShortName(const std::string& folder, const std::string& name) const {
    const std::size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > 0;
    const std::string base = hasExtension ? name.substr(0, dot) : name;
    const std::string extension = hasExtension ? name.substr(dot + 1) : std::string();
    const bool valid = !base.empty() && base.size() <= 8 && extension.size() <= 3 &&
                       base.find('.') == std::string::npos &&
                       name.find(' ') == std::string::npos &&
                       std::none_of(name.begin(), name.end(), NotInShortNames);
    if (valid) return std::string();
    // NTFS: the first six characters of the name and the first three of its
    // extension, spaces and dots dropped, other characters an 8.3 name
    // cannot hold as '_', upper-cased; between them '~' and the lowest
    // number that no other entry of the folder has taken.
    const auto part = [&](const std::string& text, std::size_t most) {
        std::string out;
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t len = cp_.CharLength(text, i);
            if (out.size() + len > most) break;
            if (len == 1 && (text[i] == ' ' || text[i] == '.')) {
                i += len;
                continue;
            }
            out += len == 1 && NotInShortNames(text[i]) ? std::string("_") : text.substr(i, len);
            i += len;
        }
        return cp_.Upper(out);
    };
    const std::string head = part(base, 6);
    const std::string tail = part(extension, 3);
    const std::string folderKey = cp_.Lower(folder);
    for (int n = 1;; ++n) {
        const std::string candidate =
            head + "~" + std::to_string(n) + (tail.empty() ? std::string() : "." + tail);
        const bool taken = std::any_of(nodes_.begin(), nodes_.end(), [&](const auto& entry) {
            const Node& node = entry.second;
            return !IsRoot(node.path) && cp_.Lower(ParentOf(node.path)) == folderKey &&
                   (cp_.EqualsNoCase(NameOf(node.path), candidate) ||
                    cp_.EqualsNoCase(node.shortName, candidate));
        });
        if (!taken) return candidate;
    }
}

std::string FakeFileSystem::ParentOf(const std::string& normalised) const {
    std::size_t slash = cp_.LastBackslash(normalised);
    return slash == CodePage::npos ? std::string() : normalised.substr(0, slash);
}

std::string FakeFileSystem::NameOf(const std::string& normalised) const {
    std::size_t slash = cp_.LastBackslash(normalised);
    return slash == CodePage::npos ? normalised : normalised.substr(slash + 1);
}

bool FakeFileSystem::IsRoot(const std::string& normalised) const {
    return cp_.LastBackslash(normalised) == CodePage::npos;
}

bool FakeFileSystem::SplitStream(const std::string& path, std::string* file,
                                 std::string* stream) const {
    // A colon after the drive's can only start a stream part: NTFS reads
    // "file:name:type", the type being "$DATA" for a data stream.
    const std::size_t slash = cp_.LastBackslash(path);
    std::size_t i = slash != CodePage::npos ? slash + 1
                    : path.size() >= 2 && path[1] == ':' ? 2
                                                          : 0;
    while (i < path.size() && path[i] != ':') i += cp_.CharLength(path, i);
    *file = path.substr(0, i);
    stream->clear();
    if (i == path.size()) return true;

    const std::string rest = path.substr(i + 1);
    const std::size_t colon = rest.find(':');
    *stream = rest.substr(0, colon);
    if (colon != std::string::npos) return cp_.EqualsNoCase(rest.substr(colon + 1), "$DATA");
    return !stream->empty();
}

const FakeFileSystem::Stream* FakeFileSystem::FindStream(const std::string& path) const {
    std::string file, stream;
    if (!SplitStream(path, &file, &stream) || stream.empty()) return nullptr;
    const Node* n = Find(file);
    if (n == nullptr) return nullptr;
    auto it = n->streams.find(cp_.Lower(stream));
    return it == n->streams.end() ? nullptr : &it->second;
}

std::uint32_t FakeFileSystem::MissingCode(const std::string& path) const {
    const std::string normalised = Normalise(path);
    if (IsRoot(normalised)) return kErrorPathNotFound;
    const Node* parent = Find(ParentOf(normalised));
    return parent != nullptr && (parent->attributes & kAttrDirectory) != 0 ? kErrorFileNotFound
                                                                            : kErrorPathNotFound;
}

const FakeFileSystem::Node* FakeFileSystem::Find(const std::string& path) const {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

FakeFileSystem::Node* FakeFileSystem::Find(const std::string& path) {
    auto it = nodes_.find(Key(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

void FakeFileSystem::Insert(const std::string& given, std::uint32_t attributes,
                            std::string content) {
    if (!IsRoot(given)) {
        std::string parent = ParentOf(given);
        if (Find(parent) == nullptr) Insert(parent, kAttrDirectory, "");
    }
    const std::string normalised = Resolve(given);
    // On disk as given; callers that leave data in the cache say so after.
    std::string key = cp_.Lower(normalised);
    auto it = nodes_.find(key);
    if (it != nodes_.end()) {
        it->second.attributes = attributes;
        it->second.durable = content;
        it->second.content = std::move(content);
        return;
    }
    std::string durable = content;
    std::string shortName =
        IsRoot(normalised) ? std::string() : MakeShortName(ParentOf(normalised), NameOf(normalised));
    nodes_.emplace(key, Node{normalised, attributes, std::move(content), nextOrder_++, {},
                             std::move(durable), nextId_++, std::move(shortName)});
}

void FakeFileSystem::AddFolder(const std::string& path, std::uint32_t attributes) {
    Insert(Normalise(path), attributes | kAttrDirectory, "");
}

void FakeFileSystem::AddFile(const std::string& path, const std::string& content,
                             std::uint32_t attributes) {
    std::string file, stream;
    if (SplitStream(path, &file, &stream) && !stream.empty()) {
        if (Find(file) == nullptr) Insert(Normalise(file), kAttrArchive, "");
        Find(file)->streams[cp_.Lower(stream)] = Stream{stream, content, content};
        return;
    }
    Insert(Normalise(path), attributes & ~kAttrDirectory, content);
}

void FakeFileSystem::SetEnv(const std::string& name, const std::string& value) {
    env_[cp_.Lower(name)] = value;
}

void FakeFileSystem::UnsetEnv(const std::string& name) { env_.erase(cp_.Lower(name)); }

void FakeFileSystem::FailCopyTo(const std::string& target, int times) {
    copyFailures_[Key(target)] = times;
}

void FakeFileSystem::FailCreateDirectory(const std::string& path) {
    mkdirFailures_.push_back(Key(path));
}

void FakeFileSystem::FailSetAttributes(const std::string& path) {
    setAttrFailures_.push_back(Key(path));
}

void FakeFileSystem::FailListing(const std::string& folder) {
    listingFailures_.push_back(Key(folder));
}

void FakeFileSystem::OmitDots(const std::string& folder) { noDots_.push_back(Key(folder)); }

void FakeFileSystem::SetInUse(const std::string& path, bool inUse) {
    auto it = std::find(inUse_.begin(), inUse_.end(), Key(path));
    if (inUse && it == inUse_.end()) inUse_.push_back(Key(path));
    if (!inUse && it != inUse_.end()) inUse_.erase(it);
}

void FakeFileSystem::FailAppendsAfter(const std::string& path, int okAppends) {
    appendBudget_[Key(path)] = okAppends;
}

void FakeFileSystem::FailFlush(const std::string& path) { flushFailures_.push_back(Key(path)); }

void FakeFileSystem::FailReplace(const std::string& to) { replaceFailures_.push_back(Key(to)); }

int FakeFileSystem::HeldFiles() const {
    int held = 0;
    for (const auto& [key, count] : *readHolds_) held += count;
    return held;
}

std::vector<std::string> FakeFileSystem::Tree(const std::string& folder) const {
    const std::string root = Key(folder);
    std::vector<std::string> paths;
    for (const auto& [key, node] : nodes_) {
        if (key == root || key.compare(0, root.size() + 1, root + "\\") == 0)
            paths.push_back(node.path + ((node.attributes & kAttrDirectory) ? "\\" : "=" + node.content));
    }
    return paths;
}

void FakeFileSystem::Restart() {
    // The shutdown before it wrote the cache out and ended every holder.
    inUse_.clear();
    for (auto& [key, node] : nodes_) {
        node.durable = node.content;
        for (auto& [name, stream] : node.streams) stream.durable = stream.content;
    }
    // PendingFileRenameOperations run in the order they were queued; one
    // that fails (a folder not empty by then) is dropped.
    std::vector<std::pair<std::string, std::string>> ops;
    ops.swap(pending_);
    for (const auto& [from, to] : ops) {
        Node* n = Find(from);
        if (n == nullptr) continue;
        if (to.empty()) {
            if ((n->attributes & kAttrDirectory) != 0 && !Children(from).empty()) continue;
            nodes_.erase(Key(from));
            continue;
        }
        // The session manager only renames: MOVEFILE_COPY_ALLOWED cannot be
        // combined with MOVEFILE_DELAY_UNTIL_REBOOT, so a move to another
        // volume does not happen.
        if (Key(from).substr(0, 2) != Key(to).substr(0, 2)) continue;
        const std::string content = n->content;
        const std::uint32_t attributes = n->attributes;
        nodes_.erase(Key(from));
        Insert(Normalise(to), attributes, content);
    }
}

void FakeFileSystem::PowerCut() {
    for (auto& [key, node] : nodes_) {
        node.content = node.durable;
        for (auto& [name, stream] : node.streams) stream.content = stream.durable;
    }
}

bool FakeFileSystem::Exists(const std::string& path) const {
    return Find(path) != nullptr || FindStream(path) != nullptr;
}

bool FakeFileSystem::IsFolder(const std::string& path) const {
    const Node* n = Find(path);
    return n != nullptr && (n->attributes & kAttrDirectory) != 0;
}

std::string FakeFileSystem::Content(const std::string& path) const {
    if (const Stream* stream = FindStream(path)) return stream->content;
    const Node* n = Find(path);
    return n == nullptr ? std::string() : n->content;
}

std::vector<std::string> FakeFileSystem::StreamNames(const std::string& path) const {
    std::vector<std::string> names;
    if (const Node* n = Find(path)) {
        for (const auto& [key, stream] : n->streams) names.push_back(stream.name);
    }
    return names;
}

std::string FakeFileSystem::StoredName(const std::string& path) const {
    const Node* n = Find(path);
    return n == nullptr ? std::string() : NameOf(n->path);
}

std::string FakeFileSystem::ShortName(const std::string& path) const {
    const Node* n = Find(path);
    return n == nullptr ? std::string() : n->shortName;
}

std::uint32_t FakeFileSystem::Attributes(const std::string& path) const {
    const Node* n = Find(path);
    return n == nullptr ? kInvalidAttributes : n->attributes;
}

std::vector<const FakeFileSystem::Node*> FakeFileSystem::ChildNodes(const std::string& folder) const {
    std::string parentKey = Key(folder);
    std::vector<const Node*> kids;
    for (const auto& [key, node] : nodes_) {
        if (!IsRoot(node.path) && cp_.Lower(ParentOf(node.path)) == parentKey) {
            kids.push_back(&node);
        }
    }
    std::sort(kids.begin(), kids.end(),
              [](const Node* a, const Node* b) { return a->order < b->order; });
    return kids;
}

std::vector<std::string> FakeFileSystem::Children(const std::string& folder) const {
    std::vector<std::string> names;
    for (const Node* n : ChildNodes(folder)) names.push_back(NameOf(n->path));
    return names;
}

bool FakeFileSystem::WildcardMatch(const std::string& pattern, const std::string& name) const {
    // "*.*" matches names without a dot too.
    std::string p = pattern == "*.*" ? "*" : cp_.Lower(pattern);
    std::string n = cp_.Lower(name);
    return Glob(p.c_str(), n.c_str());
}

std::unique_ptr<IFindHandle> FakeFileSystem::FindFirst(const std::string& pattern,
                                                       FindEntry* first) {
    finds_.push_back(pattern);
    // A trailing backslash or a bare drive root names no entry.
    if (pattern.empty() || cp_.EndsWithBackslash(pattern)) return nullptr;
    std::string normalised = Normalise(pattern);
    if (IsRoot(normalised)) return nullptr;
    std::string folder = ParentOf(normalised);
    std::string folderKey = cp_.Lower(folder);
    if (Contains(listingFailures_, folderKey)) return nullptr;
    const Node* dir = Find(folder);
    if (dir == nullptr || (dir->attributes & kAttrDirectory) == 0) return nullptr;

    std::string last = NameOf(normalised);
    std::vector<FindEntry> found;
    if (HasWildcard(last)) {
        if (!IsRoot(folder) && !Contains(noDots_, folderKey)) {
            for (const char* dot : {".", ".."}) {
                if (WildcardMatch(last, dot)) found.push_back({dot, dir->attributes});
            }
        }
        for (const Node* n : ChildNodes(folder)) {
            const std::string name = NameOf(n->path);
            if (WildcardMatch(last, name)) found.push_back({name, n->attributes});
        }
    } else if (const Node* n = Find(normalised)) {
        found.push_back({NameOf(n->path), n->attributes});
    }
    if (found.empty()) return nullptr;
    *first = found.front();
    found.erase(found.begin());
    return std::make_unique<FakeFindHandle>(std::move(found), openListings_);
}

std::uint32_t FakeFileSystem::GetAttributes(const std::string& path) {
    if (path.empty()) return kInvalidAttributes;
    std::string file, stream;
    if (!SplitStream(path, &file, &stream)) return kInvalidAttributes;
    const Node* n = Find(file);
    if (n == nullptr) return kInvalidAttributes;
    // A stream has no attributes of its own: a path naming one that exists
    // reports its file's.
    if (!stream.empty() && FindStream(path) == nullptr) return kInvalidAttributes;
    return n->attributes;
}

OsResult FakeFileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    setAttrs_.emplace_back(path, attributes);
    Node* n = Find(path);
    if (n == nullptr) return OsResult::Fail(MissingCode(path));
    if (Contains(setAttrFailures_, Key(path))) return OsResult::Fail(kErrorWriteProtect);
    bool dir = (n->attributes & kAttrDirectory) != 0;
    std::uint32_t a = attributes & ~(kAttrDirectory | kAttrNormal);
    if (dir) {
        a |= kAttrDirectory;
    } else if (a == 0) {
        a = kAttrNormal;  // what Windows reports for a file with no other bit
    }
    n->attributes = a;
    return OsResult::Ok();
}

bool FakeFileSystem::InjectedCopyFailure(const std::string& target) {
    auto injected = copyFailures_.find(Key(target));
    if (injected == copyFailures_.end() || injected->second == 0) return false;
    if (injected->second > 0) --injected->second;
    return true;
}

OsResult FakeFileSystem::CopyFile(const std::string& source, const std::string& target) {
    auto result = [&](std::uint32_t code) {
        copies_.push_back({source, target, code == 0});
        return code == 0 ? OsResult::Ok() : OsResult::Fail(code);
    };
    if (InjectedCopyFailure(target)) return result(kErrorAccessDenied);
    std::string sourceFile, sourceStream, targetFile, targetStream;
    if (!SplitStream(source, &sourceFile, &sourceStream) ||
        !SplitStream(target, &targetFile, &targetStream)) {
        return result(kErrorInvalidName);
    }
    // Copying onto a stream is not modelled: the installer never does it.
    if (!targetStream.empty()) return result(kErrorInvalidParameter);
    const Node* src = Find(sourceFile);
    if (src == nullptr) return result(MissingCode(sourceFile));
    if ((src->attributes & kAttrDirectory) != 0) return result(kErrorAccessDenied);
    // A whole file is copied with its alternate streams; a stream alone
    // becomes a plain file.
    std::string content = src->content;
    std::map<std::string, Stream> streams = src->streams;
    if (!sourceStream.empty()) {
        const Stream* one = FindStream(source);
        if (one == nullptr) return result(kErrorFileNotFound);
        content = one->content;
        streams.clear();
    }
    // The target's streams are made, their data is not written out yet.
    for (auto& [name, stream] : streams) stream.durable.clear();
    const std::uint32_t attributes = src->attributes;  // CopyFile carries them over

    // Held without sharing: not even readable.
    if (Contains(inUse_, Key(sourceFile))) return result(kErrorSharingViolation);
    std::string normalised = Normalise(targetFile);
    if (normalised.empty()) return result(kErrorPathNotFound);
    if (IsRoot(normalised)) return result(kErrorAccessDenied);
    const Node* parent = Find(ParentOf(normalised));
    if (parent == nullptr || (parent->attributes & kAttrDirectory) == 0)
        return result(kErrorPathNotFound);
    if (Node* dst = Find(normalised)) {
        // CopyFile "fails with ERROR_ACCESS_DENIED if the destination file
        // already exists and has the FILE_ATTRIBUTE_HIDDEN or
        // FILE_ATTRIBUTE_READONLY attribute set".
        if ((dst->attributes & (kAttrDirectory | kAttrReadOnly | kAttrHidden)) != 0) {
            return result(kErrorAccessDenied);
        }
        if (Contains(inUse_, Key(targetFile)) || HeldForReading(Key(targetFile)))
            return result(kErrorSharingViolation);
        // The target is written afresh: its old streams do not survive.
        // CopyFile opens it CREATE_ALWAYS, which truncates it; NTFS
        // journals the new length at once, while the new data is only in
        // the cache: after a power cut the file is empty, the old content
        // gone too.
        dst->content = std::move(content);
        dst->durable.clear();
        dst->attributes = attributes;
        dst->streams = std::move(streams);
        return result(0);
    }
    // The new file is journalled, its data is not: on disk it is empty.
    Insert(normalised, attributes, std::move(content));
    Node* made = Find(normalised);
    made->durable.clear();
    made->streams = std::move(streams);
    return result(0);
}

OsResult FakeFileSystem::DeleteFile(const std::string& path) {
    deletes_.push_back(path);
    std::string file, stream;
    if (!SplitStream(path, &file, &stream)) return OsResult::Fail(kErrorInvalidName);
    Node* n = Find(file);
    // DeleteFile fails on a missing file (ERROR_FILE_NOT_FOUND), and on a
    // folder or a read-only file (ERROR_ACCESS_DENIED). A stream belongs to
    // its file, so the streams of a read-only file cannot be deleted either.
    if (n == nullptr) return OsResult::Fail(MissingCode(file));
    if ((n->attributes & (kAttrDirectory | kAttrReadOnly)) != 0)
        return OsResult::Fail(kErrorAccessDenied);
    // Nor one held open without delete sharing (a stream is opened on its own).
    if (Contains(inUse_, Key(file)) || (stream.empty() && HeldForReading(Key(file))))
        return OsResult::Fail(kErrorSharingViolation);
    if (!stream.empty()) {
        if (n->streams.erase(cp_.Lower(stream)) == 0) return OsResult::Fail(kErrorFileNotFound);
        return OsResult::Ok();
    }
    nodes_.erase(Key(file));  // its streams go with it
    return OsResult::Ok();
}

OsResult FakeFileSystem::CreateDirectory(const std::string& path) {
    mkdirs_.push_back(path);
    if (Contains(mkdirFailures_, Key(path))) return OsResult::Fail(kErrorAccessDenied);
    // A folder name holds no colon: one there names a stream.
    std::string file, stream;
    if (!SplitStream(path, &file, &stream) || file != path) return OsResult::Fail(kErrorInvalidName);
    std::string normalised = Normalise(path);
    if (normalised.empty()) return OsResult::Fail(kErrorPathNotFound);
    if (IsRoot(normalised)) return OsResult::Fail(kErrorAccessDenied);
    if (Find(normalised) != nullptr) return OsResult::Fail(kErrorAlreadyExists);
    const Node* parent = Find(ParentOf(normalised));
    if (parent == nullptr || (parent->attributes & kAttrDirectory) == 0)
        return OsResult::Fail(kErrorPathNotFound);
    Insert(normalised, kAttrDirectory, "");
    return OsResult::Ok();
}

std::uint32_t FakeFileSystem::GetEnvironmentVariable(const char* name, char* buffer,
                                                     std::uint32_t capacity) {
    ++envQueries_;
    auto it = env_.find(cp_.Lower(name));
    if (it == env_.end()) return 0;
    const std::string& value = it->second;
    auto size = static_cast<std::uint32_t>(value.size());
    if (size + 1 > capacity) return size + 1;
    std::memcpy(buffer, value.c_str(), size + 1);
    return size;
}

OsResult FakeFileSystem::RoamingAppDataFolder(std::string* folder) {
    ++shellQueries_;
    if (!roaming_) return OsResult::Fail(kErrorPathNotFound);
    *folder = *roaming_;
    return OsResult::Ok();
}

}  // namespace tx

namespace tx {

void FakeFileSystem::HoldFolderOpen(const std::string& path, bool hold) {
    int& count = heldFolders_[Key(path)];
    count += hold ? 1 : -1;
    if (count <= 0) heldFolders_.erase(Key(path));
}

OsResult FakeFileSystem::RemoveDirectory(const std::string& path) {
    // RemoveDirectory removes only an empty folder, and none that a handle
    // holds open without sharing delete.
    Node* n = Find(path);
    if (n == nullptr) return OsResult::Fail(MissingCode(path));
    if ((n->attributes & kAttrDirectory) == 0) return OsResult::Fail(kErrorDirectory);
    if (IsRoot(Normalise(path))) return OsResult::Fail(kErrorAccessDenied);
    if (heldFolders_.count(Key(path)) != 0) return OsResult::Fail(kErrorSharingViolation);
    if (!Children(path).empty()) return OsResult::Fail(kErrorDirNotEmpty);
    nodes_.erase(Key(path));
    return OsResult::Ok();
}

void FakeFileSystem::SetLinkCount(const std::string& path, int names) {
    linkCounts_[Key(path)] = names;
}

bool FakeFileSystem::Linked(const std::string& key) const {
    auto it = nodes_.find(key);
    if (it != nodes_.end() && (it->second.attributes & kAttrReparsePoint) != 0) return true;
    auto links = linkCounts_.find(key);
    return links != linkCounts_.end() && links->second != 1;
}

OsResult FakeFileSystem::ReadWholeFile(const std::string& path, std::string* content) {
    const Node* n = Find(path);
    if (n == nullptr) return OsResult::Fail(MissingCode(path));
    if ((n->attributes & kAttrDirectory) != 0) return OsResult::Fail(kErrorAccessDenied);
    if (Linked(Key(path))) return OsResult::Fail(kErrorCantAccessFile);
    // Held without sharing: not even readable.
    if (Contains(inUse_, Key(path))) return OsResult::Fail(kErrorSharingViolation);
    *content = n->content;
    return OsResult::Ok();
}

OsResult FakeFileSystem::ReadProgramImage(std::string* content) {
    if (!heldImage_) return ReadWholeFile(modulePath_, content);
    *content = *heldImage_;
    return OsResult::Ok();
}

std::uint32_t FakeFileSystem::WriteRefusal(const std::string& normalised,
                                           std::uint32_t blocking) const {
    if (normalised.empty()) return kErrorPathNotFound;
    if (IsRoot(normalised)) return kErrorAccessDenied;
    const std::string key = cp_.Lower(normalised);
    const Node* parent = Find(ParentOf(normalised));
    if (parent == nullptr || (parent->attributes & kAttrDirectory) == 0) return kErrorPathNotFound;
    if (const Node* n = Find(normalised)) {
        if ((n->attributes & blocking) != 0) return kErrorAccessDenied;
    }
    if (Contains(inUse_, key) || HeldForReading(key)) return kErrorSharingViolation;
    return 0;
}

OsResult FakeFileSystem::WriteWholeFile(const std::string& path, const std::string& content) {
    auto result = [&](std::uint32_t code) {
        writes_.push_back({std::string(), path, code == 0});
        return code == 0 ? OsResult::Ok() : OsResult::Fail(code);
    };
    if (InjectedCopyFailure(path)) return result(kErrorAccessDenied);
    // OPEN_ALWAYS for writing fails over a read-only file and a folder
    // (ERROR_ACCESS_DENIED); a link or a file of several names is refused
    // before anything is truncated.
    const std::string normalised = Normalise(path);
    const std::uint32_t refused = WriteRefusal(normalised, kAttrDirectory | kAttrReadOnly);
    if (refused != 0) return result(refused);
    if (Linked(cp_.Lower(normalised))) return result(kErrorCantAccessFile);
    if (Node* n = Find(normalised)) {
        n->content = content;
        n->durable = content;  // flushed before it returns
        // A written file is marked for backup; its other bits stay.
        n->attributes = (n->attributes & ~kAttrNormal) | kAttrArchive;
        return result(0);
    }
    Insert(normalised, kAttrArchive, content);
    return result(0);
}

OsResult FakeFileSystem::AppendToFile(const std::string& path, const std::string& text) {
    auto budget = appendBudget_.find(Key(path));
    if (budget != appendBudget_.end()) {
        if (budget->second == 0) return OsResult::Fail(kErrorDiskFull);
        --budget->second;
    }
    const std::string normalised = Normalise(path);
    const std::uint32_t refused = WriteRefusal(normalised, kAttrDirectory | kAttrReadOnly);
    if (refused != 0) return OsResult::Fail(refused);
    if (Node* n = Find(normalised)) {
        n->content += text;
        n->durable = n->content;  // flushed before it returns
        return OsResult::Ok();
    }
    Insert(normalised, kAttrArchive, text);
    return OsResult::Ok();
}

OsResult FakeFileSystem::MoveFileAtRestart(const std::string& from, const std::string& to) {
    // Only queued: the system does it at the next restart (see Restart).
    if (from.empty()) return OsResult::Fail(kErrorPathNotFound);
    if (failRestartMoves_) return OsResult::Fail(kErrorAccessDenied);
    pending_.emplace_back(from, to);
    return OsResult::Ok();
}

OsResult FakeFileSystem::RestartOperationPaths(std::vector<std::string>* paths) {
    paths->clear();
    for (const auto& op : pending_) {
        paths->push_back(op.first);
        if (!op.second.empty()) paths->push_back(op.second);
    }
    return OsResult::Ok();
}

OsResult FakeFileSystem::FileSize(const std::string& path, std::uint64_t* size) {
    const Node* n = Find(path);
    if (n == nullptr) return OsResult::Fail(MissingCode(path));
    *size = (n->attributes & kAttrDirectory) != 0 ? 0 : n->content.size();
    return OsResult::Ok();
}

OsResult FakeFileSystem::FlushFile(const std::string& path) {
    std::string file, stream;
    if (!SplitStream(path, &file, &stream)) return OsResult::Fail(kErrorInvalidName);
    if (Contains(flushFailures_, Key(path))) return OsResult::Fail(kErrorWriteFault);
    // Opened for writing: not a folder, nor a read-only file, nor one held
    // without sharing.
    Node* n = Find(file);
    if (n == nullptr) return OsResult::Fail(MissingCode(file));
    if ((n->attributes & (kAttrDirectory | kAttrReadOnly)) != 0)
        return OsResult::Fail(kErrorAccessDenied);
    if (Contains(inUse_, Key(file)) || (stream.empty() && HeldForReading(Key(file))))
        return OsResult::Fail(kErrorSharingViolation);
    // FlushFileBuffers writes out the one stream the handle is open on.
    if (stream.empty()) {
        n->durable = n->content;
        return OsResult::Ok();
    }
    auto it = n->streams.find(cp_.Lower(stream));
    if (it == n->streams.end()) return OsResult::Fail(kErrorFileNotFound);
    it->second.durable = it->second.content;
    return OsResult::Ok();
}

OsResult FakeFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
    std::string fromFile, fromStream, toFile, toStream;
    if (!SplitStream(from, &fromFile, &fromStream) || !SplitStream(to, &toFile, &toStream))
        return OsResult::Fail(kErrorInvalidName);
    // Renaming streams is not modelled: the installer never does it.
    if (!fromStream.empty() || !toStream.empty()) return OsResult::Fail(kErrorInvalidParameter);
    if (Contains(replaceFailures_, Key(to))) return OsResult::Fail(kErrorAccessDenied);
    Node* src = Find(from);
    if (src == nullptr) return OsResult::Fail(MissingCode(from));
    if ((src->attributes & kAttrDirectory) != 0) return OsResult::Fail(kErrorAccessDenied);
    if (Contains(inUse_, Key(from)) || HeldForReading(Key(from)))
        return OsResult::Fail(kErrorSharingViolation);
    // Without MOVEFILE_COPY_ALLOWED a move to another volume is refused.
    if (Key(from).substr(0, 2) != Key(to).substr(0, 2)) return OsResult::Fail(kErrorNotSameDevice);
    const std::string target = Normalise(to);
    if (target.empty()) return OsResult::Fail(kErrorPathNotFound);
    if (IsRoot(target)) return OsResult::Fail(kErrorAccessDenied);
    const Node* parent = Find(ParentOf(target));
    if (parent == nullptr || (parent->attributes & kAttrDirectory) == 0)
        return OsResult::Fail(kErrorPathNotFound);
    const std::string targetKey = cp_.Lower(Resolve(target));
    if (targetKey == Key(from)) {
        src->path = target;  // at most the letter case changes
        return OsResult::Ok();
    }
    long order = nextOrder_;
    if (const Node* dst = Find(target)) {
        // MOVEFILE_REPLACE_EXISTING replaces a file, not a folder; a
        // read-only target or one held open refuses it.
        if ((dst->attributes & (kAttrDirectory | kAttrReadOnly)) != 0 || Contains(inUse_, targetKey))
            return OsResult::Fail(kErrorAccessDenied);
        if (HeldForReading(targetKey)) return OsResult::Fail(kErrorSharingViolation);
        order = dst->order;
    } else {
        ++nextOrder_;
    }
    // A rename is metadata, journalled and here written through: the node
    // moves whole, with what is on disk of it and what is only cached.
    Node moved = std::move(*src);
    nodes_.erase(Key(from));
    nodes_.erase(targetKey);
    // Renamed, it is named like a new entry; its id stays.
    moved.path = Resolve(target);
    moved.order = order;
    moved.shortName = MakeShortName(ParentOf(moved.path), NameOf(moved.path));
    nodes_.insert_or_assign(targetKey, std::move(moved));
    return OsResult::Ok();
}

OsResult FakeFileSystem::FileIdentity(const std::string& path, FileId* id) {
    std::string file, stream;
    if (!SplitStream(path, &file, &stream)) return OsResult::Fail(kErrorInvalidName);
    const Node* n = Find(file);
    if (n == nullptr) return OsResult::Fail(MissingCode(file));
    if (!stream.empty() && FindStream(path) == nullptr) return OsResult::Fail(kErrorFileNotFound);
    FileId found;
    found.volume = static_cast<std::uint8_t>(cp_.Upper(n->path.substr(0, 1))[0]);
    for (std::size_t i = 0; i < 8; ++i) found.id[i] = static_cast<std::uint8_t>(n->id >> (8 * i));
    *id = found;
    return OsResult::Ok();
}

OsResult FakeFileSystem::HoldForReading(const std::string& path,
                                        std::unique_ptr<IHeldFile>* file) {
    std::string name, stream;
    if (!SplitStream(path, &name, &stream)) return OsResult::Fail(kErrorInvalidName);
    // Holding a stream is not modelled: the installer never does it.
    if (!stream.empty()) return OsResult::Fail(kErrorInvalidParameter);
    const Node* n = Find(path);
    if (n == nullptr) return OsResult::Fail(MissingCode(path));
    // CreateFile opens a folder only with FILE_FLAG_BACKUP_SEMANTICS.
    if ((n->attributes & kAttrDirectory) != 0) return OsResult::Fail(kErrorAccessDenied);
    if (Contains(inUse_, Key(path))) return OsResult::Fail(kErrorSharingViolation);
    HeldFileFacts facts;
    facts.size = n->content.size();
    const auto links = linkCounts_.find(Key(path));
    facts.links = links == linkCounts_.end() ? 1 : static_cast<std::uint32_t>(links->second);
    facts.reparsePoint = (n->attributes & kAttrReparsePoint) != 0;
    *file = std::make_unique<FakeHeldFile>(n->path, n->content, facts, Key(path), readHolds_);
    return OsResult::Ok();
}

OsResult FakeFileSystem::CopyFromHeld(IHeldFile& source, const std::string& target) {
    auto result = [&](std::uint32_t code) {
        copies_.push_back({source.Path(), target, code == 0, true});
        return code == 0 ? OsResult::Ok() : OsResult::Fail(code);
    };
    auto injected = copyFailures_.find(Key(target));
    if (injected != copyFailures_.end() && injected->second != 0) {
        if (injected->second > 0) --injected->second;
        return result(kErrorAccessDenied);
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        std::size_t got = 0;
        const OsResult read = source.Read(content.size(), buffer, sizeof buffer, &got);
        if (!read) return result(read.Code());
        if (got == 0) break;
        content.append(buffer, got);
    }
    // CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL refuses a read-only, hidden
    // or system file; over any other it keeps its attributes and adds the
    // archive bit. The new data is in the cache only.
    const std::string normalised = Normalise(target);
    const std::uint32_t refused = WriteRefusal(
        normalised, kAttrDirectory | kAttrReadOnly | kAttrHidden | kAttrSystem);
    if (refused != 0) return result(refused);
    if (Node* n = Find(normalised)) {
        n->content = std::move(content);
        n->attributes = (n->attributes & ~kAttrNormal) | kAttrArchive;
    } else {
        Insert(normalised, kAttrArchive, std::move(content));
    }
    Find(normalised)->durable.clear();
    return result(0);
}

}  // namespace tx
