#include "engine/actions/DemandLoadKey.h"

#include "engine/Journal.h"
#include "engine/actions/MovedFrom.h"

namespace tx {

namespace {

// Whether the key at path is empty: no values, no subkeys.
bool IsEmptyKey(IRegistry& reg, RegHandle key) {
    std::uint32_t subkeys = 1;
    std::uint32_t values = 1;
    return reg.QuerySubkeyCount(key, &subkeys) == kRegOk &&
           reg.QueryValueCount(key, &values) == kRegOk && subkeys == 0 && values == 0;
}

}  // namespace

bool KeyContent::operator==(const KeyContent& o) const {
    return exists == o.exists && known == o.known && values == o.values;
}

bool ReadKeyContent(IRegistry& reg, const std::string& path, KeyContent* content, RegHandle root) {
    *content = KeyContent();
    content->known = true;
    UniqueRegKey key(reg);
    const long rc = reg.OpenKeyRead(root, path.c_str(), key.put());
    if (rc == kRegNotFound) return true;
    if (rc != kRegOk || !key) return false;
    content->exists = true;
    for (std::uint32_t i = 0;; ++i) {
        std::string name;
        RegValueState value;
        value.keyExists = value.valueExists = true;
        const long e = reg.EnumValueWide(key.get(), i, &name, &value.type, &value.data);
        if (e == kRegNoMoreItems) return true;
        if (e != kRegOk) return false;
        content->values.emplace_back(std::move(name), std::move(value));
    }
}

ActionResult WriteKeyContent(IRegistry& reg, RegHandle root, const std::string& path,
                             const KeyContent& content) {
    long rc = reg.DeleteKey(root, path.c_str());
    if (!content.exists) return ActionResult::FromRegistry(rc == kRegNotFound ? kRegOk : rc);
    UniqueRegKey key(reg);
    rc = reg.CreateKey(root, path.c_str(), key.put());
    if (rc == kRegOk && !key) rc = kRegInvalidHandle;
    // Refused for its subkeys: what this run wrote over goes first.
    for (std::uint32_t i = 0; rc == kRegOk;) {
        std::string name;
        std::uint32_t type = 0;
        std::vector<unsigned char> data;
        const long e = reg.EnumValueWide(key.get(), i, &name, &type, &data);
        if (e == kRegNoMoreItems) break;
        if (e != kRegOk) {
            rc = e;
            break;
        }
        bool held = false;
        for (const auto& value : content.values) held = held || value.first == name;
        if (held) {
            ++i;
            continue;
        }
        rc = reg.DeleteValue(key.get(), name.c_str());
    }
    for (const auto& [name, value] : content.values) {
        if (rc != kRegOk) break;
        rc = reg.SetValueWide(key.get(), name.c_str(), value.type, value.data.data(),
                              static_cast<std::uint32_t>(value.data.size()));
    }
    return ActionResult::FromRegistry(rc);
}

std::string KeyContentText(const KeyContent& content) {
    if (!content.known) return std::string();
    if (!content.exists) return "nokey";
    std::string out = "key";
    for (const auto& [name, value] : content.values) out += "," + HexText(name.data(), name.size()) + "=" + ValueStateText(value);
    return out;
}

bool ParseKeyContent(const std::string& text, KeyContent* content) {
    *content = KeyContent();
    content->known = true;
    if (text == "nokey") return true;
    if (text.compare(0, 3, "key") != 0) return false;
    content->exists = true;
    std::size_t start = 3;
    while (start < text.size()) {
        if (text[start] != ',') return false;
        const std::size_t end = std::min(text.find(',', start + 1), text.size());
        const std::string item = text.substr(start + 1, end - start - 1);
        const std::size_t eq = item.find('=');
        std::string name;
        RegValueState value;
        if (eq == std::string::npos || !ParseHexText(item.substr(0, eq), &name) ||
            !ParseValueState(item.substr(eq + 1), &value) || !value.valueExists)
            return false;
        content->values.emplace_back(std::move(name), std::move(value));
        start = end;
    }
    return true;
}

std::unique_ptr<Action> DemandLoadKey::Parse(const std::vector<std::string>& f) {
    if (f.size() != 3 && f.size() != 4) return nullptr;
    auto action = std::make_unique<DemandLoadKey>(f[1], f[2]);
    KeyContent before;  // an older line: what was there is not known
    if (f.size() == 4 && !ParseKeyContent(f[3], &before)) return nullptr;
    action->SetBefore(std::move(before));
    return action;
}

std::vector<std::string> DemandLoadKey::Fields() const {
    if (!journaled_) return {};
    const std::string before = KeyContentText(before_);
    if (before.empty()) return {kKind, path_, loader_};
    return {kKind, path_, loader_, before};
}

ActionResult DemandLoadKey::Prepare(ActionContext& ctx) {
    // Also when an earlier line stands for it: this run's own undo puts
    // back what it found.
    if (!ReadKeyContent(ctx.reg, path_, &before_)) {
        before_ = KeyContent();
        return ActionResult::Fail(kRegAccessDenied);
    }
    return ActionResult::Ok();
}

ActionResult DemandLoadKey::Apply(ActionContext& ctx) {
    static constexpr unsigned char kLoadCtrls[4] = {2, 0, 0, 0};  // REG_DWORD 2, little-endian
    // None there, or one with subkeys: rewritten below either way.
    (void)ctx.reg.DeleteKey(kHkeyLocalMachine, path_.c_str());
    UniqueRegKey entry(ctx.reg);
    long rc = ctx.reg.CreateKey(kHkeyLocalMachine, path_.c_str(), entry.put());
    if (rc == kRegOk && !entry) rc = kRegInvalidHandle;
    if (rc == kRegOk)
        rc = ctx.reg.SetValue(entry.get(), "LOADER", kRegSz,
                              reinterpret_cast<const unsigned char*>(loader_.c_str()),
                              static_cast<std::uint32_t>(loader_.size() + 1));
    if (rc == kRegOk)
        rc = ctx.reg.SetValue(entry.get(), "LOADCTRLS", kRegDword, kLoadCtrls, sizeof kLoadCtrls);
    return ActionResult::FromRegistry(rc);
}

ActionResult DemandLoadKey::Undo(ActionContext& ctx) {
    if (!journaled_)
        return before_.known ? WriteKeyContent(ctx.reg, kHkeyLocalMachine, path_, before_)
                             : ActionResult::Ok();
    // Put back in part by an undo cut off on its way: every value it holds
    // is one the key held before, and the rest come back too.
    if (before_.known && before_.exists) {
        KeyContent now;
        if (ReadKeyContent(ctx.reg, path_, &now) && now.exists && !now.values.empty()) {
            bool partly = true;
            for (const auto& value : now.values) {
                bool held = false;
                for (const auto& was : before_.values) held = held || was == value;
                partly = partly && held;
            }
            if (partly) return RestoreBefore(ctx);
        }
    }
    {
        UniqueRegKey key(ctx.reg);
        const long rc = ctx.reg.OpenKeyRead(kHkeyLocalMachine, path_.c_str(), key.put());
        // Deleted by the apply and cut off there: what was there comes back.
        if (rc == kRegNotFound) return RestoreBefore(ctx);
        if (rc != kRegOk || !key) return ActionResult::FromRegistry(rc == kRegOk ? kRegInvalidHandle : rc);
        std::vector<unsigned char> buffer(2048, 0);
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size() - 1);
        std::uint32_t type = 0;
        if (ctx.reg.QueryValue(key.get(), "LOADER", &type, buffer.data(), &size) != kRegOk) {
            // Made and cut off before its LOADER: still ours while empty.
            if (!IsEmptyKey(ctx.reg, key.get())) return ActionResult::Ok();
        } else {
            std::string loader(reinterpret_cast<const char*>(buffer.data()));
            if (loader.size() >= 2 && loader.front() == '"' && loader.back() == '"')
                loader = loader.substr(1, loader.size() - 2);
            // Ours while it names the folder this line wrote: a line carried
            // over from an earlier folder is undone by the run that leaves it.
            std::vector<std::string> ours = OwnFolders(ctx);
            const std::size_t ownSlash = ctx.cp.LastBackslash(loader_);
            if (ownSlash != CodePage::npos) ours.push_back(loader_.substr(0, ownSlash));
            const std::size_t slash = ctx.cp.LastBackslash(loader);
            bool mine = false;
            for (const std::string& folder : ours)
                mine = mine || (slash != CodePage::npos && ctx.cp.EqualsNoCase(loader.substr(0, slash), folder));
            if (!mine) return ActionResult::Ok();
        }
    }
    const long rc = ctx.reg.DeleteKey(kHkeyLocalMachine, path_.c_str());
    if (rc == kRegOk || rc == kRegNotFound) return RestoreBefore(ctx);
    return RestoreInPlace(ctx, rc);
}

ActionResult DemandLoadKey::RestoreInPlace(ActionContext& ctx, long deleteError) {
    UniqueRegKey key(ctx.reg);
    if (ctx.reg.OpenKey(kHkeyLocalMachine, path_.c_str(), key.put()) != kRegOk || !key)
        return ActionResult::FromRegistry(deleteError);
    // RegDeleteKey refuses a key with subkeys: such a key, which Apply only
    // rewrote, gets its values back in place.
    std::uint32_t subkeys = 0;
    if (ctx.reg.QuerySubkeyCount(key.get(), &subkeys) != kRegOk || subkeys == 0)
        return ActionResult::FromRegistry(deleteError);
    const bool restore = before_.known && before_.exists;
    const auto heldBefore = [&](const char* name) {
        if (!restore) return false;
        for (const auto& value : before_.values)
            if (ctx.cp.EqualsNoCase(value.first, name)) return true;
        return false;
    };
    for (const char* name : {"LOADER", "LOADCTRLS"}) {
        if (heldBefore(name)) continue;
        const long rc = ctx.reg.DeleteValue(key.get(), name);
        if (rc != kRegOk && rc != kRegNotFound) return ActionResult::FromRegistry(rc);
    }
    // Made by the apply: its subkeys are someone else's.
    if (!restore) return ActionResult::Left();
    for (const auto& [name, value] : before_.values) {
        const long rc = ctx.reg.SetValueWide(key.get(), name.c_str(), value.type, value.data.data(),
                                             static_cast<std::uint32_t>(value.data.size()));
        if (rc != kRegOk) return ActionResult::FromRegistry(rc);
    }
    return ActionResult::Ok();
}

ActionResult DemandLoadKey::RestoreBefore(ActionContext& ctx) {
    if (!before_.known || !before_.exists) return ActionResult::Ok();
    // Only below a product that is still there: an AutoCAD uninstalled
    // since takes its keys with it.
    const std::size_t slash = ctx.cp.LastBackslash(path_);
    if (slash == CodePage::npos) return ActionResult::Ok();
    {
        UniqueRegKey parent(ctx.reg);
        if (ctx.reg.OpenKeyRead(kHkeyLocalMachine, path_.substr(0, slash).c_str(), parent.put()) !=
            kRegOk)
            return ActionResult::Ok();
    }
    UniqueRegKey key(ctx.reg);
    long rc = ctx.reg.CreateKey(kHkeyLocalMachine, path_.c_str(), key.put());
    if (rc == kRegOk && !key) rc = kRegInvalidHandle;
    for (const auto& [name, value] : before_.values) {
        if (rc != kRegOk) break;
        rc = ctx.reg.SetValueWide(key.get(), name.c_str(), value.type, value.data.data(),
                                  static_cast<std::uint32_t>(value.data.size()));
    }
    return ActionResult::FromRegistry(rc);
}

}  // namespace tx
