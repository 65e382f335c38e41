#include "engine/actions/ProgramKey.h"

#include <cstring>

#include "engine/Journal.h"
#include "host/RegValueState.h"
#include "engine/actions/MovedFrom.h"
#include "host/TrustedPathList.h"

namespace tx {

namespace {

// path split into its root and the path below it.
RegHandle RootOf(const std::string& path, std::string* below) {
    const std::size_t prefix = std::strlen(kCurrentUserPrefix);
    if (path.compare(0, prefix, kCurrentUserPrefix) == 0) {
        *below = path.substr(prefix);
        return kHkeyCurrentUser;
    }
    *below = path;
    return kHkeyLocalMachine;
}

// Whether the machine's key at path names another installation folder
// than this journal's (or one it moved from), by its InstallLocation or its
// StubPath.
bool NamesAnotherFolder(ActionContext& ctx, const std::string& path) {
    std::vector<WideString> ours;
    for (const std::string& own : OwnFolders(ctx)) {
        WideString folder;
        if (ctx.wide.ToWide(own, &folder) && !folder.empty()) ours.push_back(ctx.wide.UpperWide(folder));
    }
    if (ours.empty()) return false;
    for (const char* name : {"InstallLocation", "StubPath"}) {
        const RegValueState v = ReadValueState(ctx.reg, kHkeyLocalMachine, path, name);
        if (!v.valueExists || !IsTextType(v.type)) continue;
        const WideString text = ctx.wide.UpperWide(TrustedPathList::Body(UnpackUtf16(v.data)));
        const bool location = std::strcmp(name, "InstallLocation") == 0;
        for (const WideString& folder : ours) {
            const bool names = location ? TrustedPathList::Folded(text) == TrustedPathList::Folded(folder)
                                        : text.find(folder + u"\\") != WideString::npos;
            if (names) return false;
        }
        return true;
    }
    return false;
}

}  // namespace

KeyValue TextValue(const std::string& name, const std::string& text, std::uint32_t type) {
    KeyValue v{name, type, std::vector<unsigned char>(text.begin(), text.end())};
    v.data.push_back(0);
    return v;
}

KeyValue NumberValue(const std::string& name, std::uint32_t value) {
    return KeyValue{name, kRegDword,
                    {static_cast<unsigned char>(value & 0xFF),
                     static_cast<unsigned char>(value >> 8 & 0xFF),
                     static_cast<unsigned char>(value >> 16 & 0xFF),
                     static_cast<unsigned char>(value >> 24 & 0xFF)}};
}

std::unique_ptr<Action> ProgramKey::Parse(const std::vector<std::string>& f) {
    if (f.size() != 2) return nullptr;
    return std::make_unique<ProgramKey>(f[1], std::vector<KeyValue>());
}

std::vector<std::string> ProgramKey::Fields() const {
    if (!journaled_) return {};
    return {kKind, path_};
}

ActionResult ProgramKey::Prepare(ActionContext& ctx) {
    std::string below;
    const RegHandle root = RootOf(path_, &below);
    if (!ReadKeyContent(ctx.reg, below, &found_, root)) {
        found_ = KeyContent();
        return ActionResult::Fail(kRegAccessDenied);
    }
    return ActionResult::Ok();
}

ActionResult ProgramKey::Apply(ActionContext& ctx) {
    std::string below;
    const RegHandle root = RootOf(path_, &below);
    UniqueRegKey key(ctx.reg);
    long rc = ctx.reg.CreateKey(root, below.c_str(), key.put());
    if (rc == kRegOk && !key) rc = kRegInvalidHandle;
    for (const KeyValue& v : values_) {
        if (rc != kRegOk) break;
        rc = ctx.reg.SetValue(key.get(), v.name.c_str(), v.type, v.data.data(),
                              static_cast<std::uint32_t>(v.data.size()));
    }
    return ActionResult::FromRegistry(rc);
}

ActionResult ProgramKey::Undo(ActionContext& ctx) {
    std::string below;
    const RegHandle root = RootOf(path_, &below);
    if (found_.known) return WriteKeyContent(ctx.reg, root, below, found_);
    if (!journaled_) return ActionResult::Ok();
    if (NamesAnotherFolder(ctx, below)) return ActionResult::Left();
    const long rc = ctx.reg.DeleteKey(root, below.c_str());
    return rc == kRegNotFound ? ActionResult::Ok() : ActionResult::FromRegistry(rc);
}

}  // namespace tx
