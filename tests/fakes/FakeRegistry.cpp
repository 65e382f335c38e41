#include "tests/fakes/FakeRegistry.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <stdexcept>

namespace tx {

struct FakeRegistry::Node {
    std::string name;  // as first created
    Node* parent = nullptr;
    bool deleted = false;
    // Keyed by the folded name, so the map order is the enumeration order.
    std::map<std::string, std::shared_ptr<Node>> children;
    std::map<std::string, std::pair<std::string, RegValueData>> values;

    const std::vector<Node*>& Ordered() {
        if (!orderValid) {
            order.clear();
            order.reserve(children.size());
            for (auto& c : children) order.push_back(c.second.get());
            orderValid = true;
        }
        return order;
    }
    void Changed() { orderValid = false; }

private:
    std::vector<Node*> order;
    bool orderValid = true;
};

namespace {

const char* RootTag(RegRoot root) { return root == RegRoot::LocalMachine ? "HKLM" : "HKCU"; }

bool IsText(std::uint32_t type) { return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz; }

}  // namespace

FakeRegistry::FakeRegistry(unsigned codePage)
    : cp_(codePage), text_(codePage), localMachine_(std::make_shared<Node>()), currentUser_(std::make_shared<Node>()) {
    localMachine_->name = RootTag(RegRoot::LocalMachine);
    currentUser_->name = RootTag(RegRoot::CurrentUser);
}

FakeRegistry::~FakeRegistry() = default;

std::shared_ptr<FakeRegistry::Node>& FakeRegistry::RootNode(RegRoot root) {
    return root == RegRoot::LocalMachine ? localMachine_ : currentUser_;
}

const std::shared_ptr<FakeRegistry::Node>& FakeRegistry::RootNode(RegRoot root) const {
    return root == RegRoot::LocalMachine ? localMachine_ : currentUser_;
}

// Lower case, as Wine orders subkeys ("_" before letters).
std::string FakeRegistry::Fold(const std::string& name) const { return cp_.Lower(name); }

// RegSetValueExA converts the whole of the data of a text type, NULs and all.
std::vector<unsigned char> FakeRegistry::Stored(std::uint32_t type,
                                                std::vector<unsigned char> ansi) const {
    if (!IsText(type)) return ansi;
    WideString wide;
    // A byte the code page lacks is stored as the system's replacement, as
    // Windows stores it.
    (void)text_.ToWide(std::string(ansi.begin(), ansi.end()), &wide);
    return Utf16Bytes(wide, false);
}

// RegQueryValueExA converts the stored code units back; an odd last byte is
// no code unit and is dropped.
RegValueData FakeRegistry::AnsiView(const RegValueData& stored) const {
    if (!IsText(stored.type)) return stored;
    std::string ansi;
    // A character the code page lacks reads back as its default character.
    (void)text_.FromWide(FromUtf16Bytes(stored.data), &ansi);
    return RegValueData{stored.type, std::vector<unsigned char>(ansi.begin(), ansi.end())};
}

long FakeRegistry::SplitPath(const char* path, std::vector<std::string>& parts) const {
    parts.clear();
    if (path == nullptr) return kRegOk;
    const std::size_t len = std::strlen(path);
    if (len > 0 && path[0] == '\\') return kRegBadPathname;
    std::string part;
    for (std::size_t i = 0; i < len;) {
        const std::size_t n = cp_.CharLength(path, len, i);
        if (n == 1 && path[i] == '\\') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part.append(path + i, n);
        }
        i += n;
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return kRegOk;
}

long FakeRegistry::Resolve(RegHandle handle, OpenKeyEntry& entry) {
    if (handle == kHkeyLocalMachine || handle == kHkeyCurrentUser) {
        entry.node = handle == kHkeyLocalMachine ? localMachine_ : currentUser_;
        entry.writable = true;
        return kRegOk;
    }
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
        ++badHandleUses_;
        return kRegInvalidHandle;
    }
    if (it->second.node->deleted) return kRegKeyDeleted;
    entry = it->second;
    return kRegOk;
}

std::string FakeRegistry::FaultKey(const Node& node) const {
    std::vector<const Node*> chain;
    for (const Node* n = &node; n != nullptr; n = n->parent) chain.push_back(n);
    std::string key = chain.back()->name;  // the root's tag
    for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it) key += "\\" + Fold((*it)->name);
    return key;
}

std::string FakeRegistry::Spelled(const Node& node) const {
    return node.parent == nullptr ? node.name : Spelled(*node.parent) + "\\" + node.name;
}

unsigned FakeRegistry::FaultsOf(const Node& node) const {
    if (faults_.empty()) return 0;
    auto it = faults_.find(FaultKey(node));
    return it == faults_.end() ? 0 : it->second;
}

bool FakeRegistry::WriteFails(const std::string& faultKey, unsigned faults) {
    auto it = faults_.find(faultKey);
    if (it == faults_.end() || (it->second & faults) == 0) return false;
    if (it->second & kFailOnce) faults_.erase(it);
    return true;
}

unsigned FakeRegistry::FaultsOf(const Node& parent, const std::string& childName) const {
    if (faults_.empty()) return 0;
    auto it = faults_.find(FaultKey(parent) + "\\" + Fold(childName));
    return it == faults_.end() ? 0 : it->second;
}

const std::shared_ptr<FakeRegistry::Node>* FakeRegistry::Find(
    const std::shared_ptr<Node>& from, const std::vector<std::string>& parts) const {
    const std::shared_ptr<Node>* node = &from;
    for (const std::string& part : parts) {
        auto it = (*node)->children.find(Fold(part));
        if (it == (*node)->children.end()) return nullptr;
        node = &it->second;
    }
    return node;
}

std::shared_ptr<FakeRegistry::Node> FakeRegistry::AddChild(Node& parent, const std::string& name) {
    auto child = std::make_shared<Node>();
    child->name = name;
    child->parent = &parent;
    parent.children.emplace(Fold(name), child);
    parent.Changed();
    ++keyCount_;
    return child;
}

RegHandle FakeRegistry::Issue(std::shared_ptr<Node> node, bool writable) {
    const RegHandle h = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(h, OpenKeyEntry{std::move(node), writable});
    ++handlesIssued_;
    peakHandles_ = std::max(peakHandles_, handles_.size());
    return h;
}

// ---- seeding and inspection ----

FakeRegistry::Node& FakeRegistry::Ensure(RegRoot root, const std::string& path) {
    std::vector<std::string> parts;
    if (SplitPath(path.c_str(), parts) != kRegOk || parts.empty())
        throw std::invalid_argument("FakeRegistry: bad key path \"" + path + "\"");
    Node* node = RootNode(root).get();
    for (const std::string& part : parts) {
        auto it = node->children.find(Fold(part));
        node = it != node->children.end() ? it->second.get() : AddChild(*node, part).get();
    }
    return *node;
}

const FakeRegistry::Node* FakeRegistry::FindSeeded(RegRoot root, const std::string& path) const {
    std::vector<std::string> parts;
    if (SplitPath(path.c_str(), parts) != kRegOk) return nullptr;
    const std::shared_ptr<Node>* node = Find(RootNode(root), parts);
    return node != nullptr ? node->get() : nullptr;
}

void FakeRegistry::AddWindowsKeys() {
    CreatePath(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
    CreatePath(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components");
    CreatePath(RegRoot::CurrentUser, "SOFTWARE\\Microsoft\\Active Setup\\Installed Components");
}

void FakeRegistry::CreatePath(RegRoot root, const std::string& path) { Ensure(root, path); }

void FakeRegistry::SetRaw(RegRoot root, const std::string& path, const std::string& name,
                          std::uint32_t type, std::vector<unsigned char> data) {
    Node& node = Ensure(root, path);
    auto& slot = node.values[Fold(name)];
    if (slot.first.empty()) slot.first = name;
    slot.second = RegValueData{type, Stored(type, std::move(data))};
}

void FakeRegistry::SetRawWide(RegRoot root, const std::string& path, const std::string& name,
                              std::uint32_t type, std::vector<unsigned char> data) {
    Node& node = Ensure(root, path);
    auto& slot = node.values[Fold(name)];
    if (slot.first.empty()) slot.first = name;
    slot.second = RegValueData{type, std::move(data)};
}

void FakeRegistry::SetWideString(RegRoot root, const std::string& path, const std::string& name,
                                 const WideString& text, std::uint32_t type) {
    SetRawWide(root, path, name, type, Utf16Bytes(text, true));
}

void FakeRegistry::SetString(RegRoot root, const std::string& path, const std::string& name,
                             const std::string& text) {
    std::vector<unsigned char> data(text.begin(), text.end());
    data.push_back(0);
    SetRaw(root, path, name, kRegSz, std::move(data));
}

void FakeRegistry::SetDword(RegRoot root, const std::string& path, const std::string& name,
                            std::uint32_t value) {
    SetRaw(root, path, name, kRegDword,
           {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)});
}

void FakeRegistry::SetFaults(RegRoot root, const std::string& path, unsigned faults) {
    std::vector<std::string> parts;
    if (SplitPath(path.c_str(), parts) != kRegOk || parts.empty())
        throw std::invalid_argument("FakeRegistry: bad key path \"" + path + "\"");
    std::string key = RootTag(root);
    for (const std::string& part : parts) key += "\\" + Fold(part);
    if (faults == 0)
        faults_.erase(key);
    else
        faults_[key] = faults;
}

bool FakeRegistry::HasKey(RegRoot root, const std::string& path) const {
    return FindSeeded(root, path) != nullptr;
}

std::vector<std::string> FakeRegistry::Subkeys(RegRoot root, const std::string& path) const {
    std::vector<std::string> names;
    if (const Node* node = FindSeeded(root, path))
        for (const auto& c : node->children) names.push_back(c.second->name);
    return names;
}

std::vector<std::string> FakeRegistry::ValueNames(RegRoot root, const std::string& path) const {
    std::vector<std::string> names;
    if (const Node* node = FindSeeded(root, path))
        for (const auto& v : node->values) names.push_back(v.second.first);
    return names;
}

std::optional<RegValueData> FakeRegistry::GetValueWide(RegRoot root, const std::string& path,
                                                       const std::string& name) const {
    const Node* node = FindSeeded(root, path);
    if (node == nullptr) return std::nullopt;
    auto it = node->values.find(Fold(name));
    if (it == node->values.end()) return std::nullopt;
    return it->second.second;
}

std::optional<RegValueData> FakeRegistry::GetValue(RegRoot root, const std::string& path,
                                                   const std::string& name) const {
    auto v = GetValueWide(root, path, name);
    if (!v) return std::nullopt;
    return AnsiView(*v);
}

std::optional<WideString> FakeRegistry::GetWideString(RegRoot root, const std::string& path,
                                                      const std::string& name) const {
    auto v = GetValueWide(root, path, name);
    if (!v) return std::nullopt;
    WideString wide = FromUtf16Bytes(v->data);
    return wide.substr(0, wide.find(u'\0'));
}

std::optional<std::string> FakeRegistry::GetString(RegRoot root, const std::string& path,
                                                   const std::string& name) const {
    auto v = GetValue(root, path, name);
    if (!v) return std::nullopt;
    auto end = std::find(v->data.begin(), v->data.end(), 0);
    return std::string(v->data.begin(), end);
}

std::optional<std::uint32_t> FakeRegistry::GetDword(RegRoot root, const std::string& path,
                                                    const std::string& name) const {
    auto v = GetValue(root, path, name);
    if (!v || v->data.size() != 4) return std::nullopt;
    return std::uint32_t{v->data[0]} | std::uint32_t{v->data[1]} << 8 |
           std::uint32_t{v->data[2]} << 16 | std::uint32_t{v->data[3]} << 24;
}

std::string FakeRegistry::Dump() const {
    std::string out;
    struct Walker {
        const FakeRegistry& self;
        std::string& out;
        void Walk(const Node& node, const std::string& path) {
            for (const auto& v : node.values) {
                const RegValueData d = self.AnsiView(v.second.second);
                out += path + " : \"" + v.second.first + "\" ";
                if (d.type == kRegSz || d.type == kRegExpandSz) {
                    auto end = std::find(d.data.begin(), d.data.end(), 0);
                    out += std::string(d.type == kRegSz ? "REG_SZ" : "REG_EXPAND_SZ") + " \"" +
                           std::string(d.data.begin(), end) + "\"";
                } else {
                    static const char kHex[] = "0123456789abcdef";
                    out += "type " + std::to_string(d.type) + " hex:";
                    for (unsigned char b : d.data) {
                        out += kHex[b >> 4];
                        out += kHex[b & 15];
                    }
                }
                out += "\n";
            }
            for (const auto& c : node.children) {
                std::string sub = path + "\\" + c.second->name;
                out += sub + "\n";
                Walk(*c.second, sub);
            }
        }
    };
    Walker w{*this, out};
    w.Walk(*localMachine_, localMachine_->name);
    w.Walk(*currentUser_, currentUser_->name);
    return out;
}

// ---- IRegistry ----

long FakeRegistry::OpenRoot(RegRoot root, RegHandle* out) {
    ++calls_.openRoot;
    if (out == nullptr) return kRegInvalidParameter;
    *out = Issue(RootNode(root), true);
    return kRegOk;
}

long FakeRegistry::OpenExisting(RegHandle parent, const char* path, bool writable,
                                RegHandle* out) {
    if (out == nullptr) return kRegInvalidParameter;
    *out = 0;
    OpenKeyEntry from;
    if (long rc = Resolve(parent, from)) return rc;
    std::vector<std::string> parts;
    if (long rc = SplitPath(path, parts)) return rc;
    // Only the read-only open may name the key itself (a second handle).
    if (writable && parts.empty()) return kRegInvalidParameter;
    const std::shared_ptr<Node>* node = Find(from.node, parts);
    if (node == nullptr) return kRegNotFound;
    if (FaultsOf(**node) & kFailOpen) return kRegAccessDenied;
    *out = Issue(*node, writable);
    return kRegOk;
}

long FakeRegistry::OpenKeyRead(RegHandle parent, const char* sub, RegHandle* out) {
    ++calls_.openKeyRead;
    return OpenExisting(parent, sub, false, out);
}

long FakeRegistry::OpenKey(RegHandle parent, const char* path, RegHandle* out) {
    ++calls_.openKey;
    return OpenExisting(parent, path, true, out);
}

long FakeRegistry::CreateKey(RegHandle parent, const char* path, RegHandle* out) {
    ++calls_.createKey;
    if (out == nullptr) return kRegInvalidParameter;
    *out = 0;
    OpenKeyEntry from;
    if (long rc = Resolve(parent, from)) return rc;
    std::vector<std::string> parts;
    if (long rc = SplitPath(path, parts)) return rc;
    if (parts.empty()) return kRegInvalidParameter;
    if (!from.writable) return kRegAccessDenied;
    if (!faults_.empty()) {
        std::string key = FaultKey(*from.node);
        for (const std::string& part : parts) key += "\\" + Fold(part);
        if (WriteFails(key, kFailCreate | kFailOpen)) return kRegAccessDenied;
    }
    std::shared_ptr<Node> node = from.node;
    for (const std::string& part : parts) {
        auto it = node->children.find(Fold(part));
        node = it != node->children.end() ? it->second : AddChild(*node, part);
    }
    if (recordWrites_) writes_.push_back("create " + Spelled(*node));
    *out = Issue(std::move(node), true);
    return kRegOk;
}

long FakeRegistry::DeleteKey(RegHandle parent, const char* path) {
    ++calls_.deleteKey;
    OpenKeyEntry from;
    if (long rc = Resolve(parent, from)) return rc;
    std::vector<std::string> parts;
    if (long rc = SplitPath(path, parts)) return rc;
    if (parts.empty()) return kRegInvalidParameter;
    const std::shared_ptr<Node>* found = Find(from.node, parts);
    if (found == nullptr) return kRegNotFound;
    Node* node = found->get();
    if (node == from.node.get()) return kRegInvalidParameter;
    if (FaultsOf(*node) & (kFailOpen | kFailDelete)) return kRegAccessDenied;
    if (!node->children.empty()) return kRegAccessDenied;
    if (recordWrites_) writes_.push_back("delete " + Spelled(*node));
    Node* up = node->parent;
    node->deleted = true;
    node->values.clear();
    up->children.erase(Fold(node->name));  // may free node
    up->Changed();
    --keyCount_;
    return kRegOk;
}

long FakeRegistry::QuerySubkeyCount(RegHandle key, std::uint32_t* count) {
    ++calls_.querySubkeyCount;
    OpenKeyEntry k;
    if (long rc = Resolve(key, k)) return rc;
    if (FaultsOf(*k.node) & kFailQueryInfo) return kRegAccessDenied;
    if (count != nullptr) *count = static_cast<std::uint32_t>(k.node->children.size());
    return kRegOk;
}

long FakeRegistry::EnumKey(RegHandle key, std::uint32_t index, char* name,
                           std::uint32_t* capacity) {
    ++calls_.enumKey;
    OpenKeyEntry k;
    if (long rc = Resolve(key, k)) return rc;
    if (name == nullptr || capacity == nullptr) return kRegInvalidParameter;
    if (FaultsOf(*k.node) & kFailEnum) return kRegAccessDenied;
    const auto& order = k.node->Ordered();
    if (index >= order.size()) return kRegNoMoreItems;
    const std::string& n = order[index]->name;
    if (n.size() + 1 > *capacity) return kRegMoreData;
    std::memcpy(name, n.c_str(), n.size() + 1);
    *capacity = static_cast<std::uint32_t>(n.size());
    return kRegOk;
}

long FakeRegistry::Query(RegHandle key, const char* name, std::uint32_t* type,
                         unsigned char* data, std::uint32_t* size, bool wide) {
    OpenKeyEntry k;
    if (long rc = Resolve(key, k)) return rc;
    if (data != nullptr && size == nullptr) return kRegInvalidParameter;
    if (FaultsOf(*k.node) & kFailReadValue) return kRegAccessDenied;
    auto it = k.node->values.find(Fold(name != nullptr ? name : ""));
    if (it == k.node->values.end()) return kRegNotFound;
    const RegValueData& stored = it->second.second;
    RegValueData converted;
    if (!wide) converted = AnsiView(stored);
    const RegValueData& v = wide ? stored : converted;
    const auto needed = static_cast<std::uint32_t>(v.data.size());
    if (type != nullptr) *type = v.type;
    if (data != nullptr && *size < needed) {
        *size = needed;
        return kRegMoreData;
    }
    if (data != nullptr && needed > 0) std::memcpy(data, v.data.data(), needed);
    if (size != nullptr) *size = needed;
    return kRegOk;
}

long FakeRegistry::QueryValue(RegHandle key, const char* name, std::uint32_t* type,
                              unsigned char* data, std::uint32_t* size) {
    ++calls_.queryValue;
    return Query(key, name, type, data, size, false);
}

long FakeRegistry::QueryValueWide(RegHandle key, const char* name, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* size) {
    ++calls_.queryValueWide;
    return Query(key, name, type, data, size, true);
}

long FakeRegistry::Set(RegHandle key, const char* name, std::uint32_t type,
                       const unsigned char* data, std::uint32_t size, bool wide) {
    OpenKeyEntry k;
    if (long rc = Resolve(key, k)) return rc;
    if (data == nullptr && size > 0) return kRegInvalidParameter;
    if (!k.writable || (!faults_.empty() && WriteFails(FaultKey(*k.node), kFailWrite))) return kRegAccessDenied;
    const std::string n = name != nullptr ? name : "";
    std::vector<unsigned char> bytes(data, data + size);
    auto& slot = k.node->values[Fold(n)];
    if (slot.first.empty()) slot.first = n;
    slot.second = RegValueData{type, wide ? std::move(bytes) : Stored(type, std::move(bytes))};
    if (recordWrites_) writes_.push_back("set " + Spelled(*k.node) + " : " + n);
    return kRegOk;
}

long FakeRegistry::SetValue(RegHandle key, const char* name, std::uint32_t type,
                            const unsigned char* data, std::uint32_t size) {
    ++calls_.setValue;
    return Set(key, name, type, data, size, false);
}

long FakeRegistry::SetValueWide(RegHandle key, const char* name, std::uint32_t type,
                                const unsigned char* data, std::uint32_t size) {
    ++calls_.setValueWide;
    return Set(key, name, type, data, size, true);
}

void FakeRegistry::CloseKey(RegHandle key) {
    ++calls_.closeKey;
    if (key == kHkeyLocalMachine || key == kHkeyCurrentUser) return;
    if (handles_.erase(key) == 0) ++badHandleUses_;
}

long FakeRegistry::DeleteValue(RegHandle key, const char* name) {
    ++calls_.deleteValue;
    OpenKeyEntry k;
    if (long rc = Resolve(key, k)) return rc;
    if (!k.writable || (!faults_.empty() && WriteFails(FaultKey(*k.node), kFailWrite))) return kRegAccessDenied;
    const std::string n = name != nullptr ? name : "";
    if (k.node->values.erase(Fold(n)) == 0) return kRegNotFound;
    if (recordWrites_) writes_.push_back("unset " + Spelled(*k.node) + " : " + n);
    return kRegOk;
}

long FakeRegistry::QueryValueCount(RegHandle key, std::uint32_t* count) {
    ++calls_.queryValueCount;
    OpenKeyEntry k;
    if (long rc = Resolve(key, k)) return rc;
    if (FaultsOf(*k.node) & kFailQueryInfo) return kRegAccessDenied;
    if (count != nullptr) *count = static_cast<std::uint32_t>(k.node->values.size());
    return kRegOk;
}

long FakeRegistry::EnumValueWide(RegHandle key, std::uint32_t index, std::string* name,
                                 std::uint32_t* type, std::vector<unsigned char>* data) {
    ++calls_.enumValueWide;
    OpenKeyEntry k;
    if (long rc = Resolve(key, k)) return rc;
    if (name == nullptr || type == nullptr || data == nullptr) return kRegInvalidParameter;
    if (FaultsOf(*k.node) & kFailReadValue) return kRegAccessDenied;
    if (index >= k.node->values.size()) return kRegNoMoreItems;
    const auto& slot = std::next(k.node->values.begin(), index)->second;
    *name = slot.first;
    *type = slot.second.type;
    *data = slot.second.data;
    return kRegOk;
}

}  // namespace tx
