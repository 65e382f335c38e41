#include "engine/actions/TrustedPathsValue.h"

#include <algorithm>

#include "engine/Journal.h"
#include "engine/actions/MovedFrom.h"
#include "host/TrustedPathList.h"

namespace tx {

namespace {


ActionResult SetWide(IRegistry& reg, RegHandle key, std::uint32_t type,
                     const std::vector<unsigned char>& data) {
    return ActionResult::FromRegistry(reg.SetValueWide(
        key, kTrustedPaths, type, data.data(), static_cast<std::uint32_t>(data.size())));
}

// A key the installation made, once empty again; one that stays is no harm.
void DeleteIfEmpty(IRegistry& reg, const std::string& path) {
    {
        UniqueRegKey key(reg);
        if (reg.OpenKeyRead(kHkeyCurrentUser, path.c_str(), key.put()) != kRegOk || !key) return;
        std::uint32_t subkeys = 1;
        std::uint32_t values = 1;
        if (reg.QuerySubkeyCount(key.get(), &subkeys) != kRegOk ||
            reg.QueryValueCount(key.get(), &values) != kRegOk || subkeys != 0 || values != 0)
            return;
    }
    // Filled meanwhile, or refused: a key that stays is no harm.
    (void)reg.DeleteKey(kHkeyCurrentUser, path.c_str());
}

}  // namespace

std::unique_ptr<Action> TrustedPathsValue::Parse(const std::vector<std::string>& f) {
    if (f.size() != 4) return nullptr;
    RegValueState before;
    RegValueState written;
    if (!ParseValueState(f[2], &before) || !ParseValueState(f[3], &written) ||
        !written.valueExists)
        return nullptr;
    return std::make_unique<TrustedPathsValue>(f[1], std::move(before), std::move(written));
}

std::vector<std::string> TrustedPathsValue::Fields() const {
    return {kKind, key_, ValueStateText(before_), ValueStateText(written_)};
}

std::string TrustedPathsValue::Describe() const {
    const auto length = [](const RegValueState& v) {
        if (!v.valueExists) return std::string("none");
        return std::to_string(TrustedPathList::Body(UnpackUtf16(v.data)).size());
    };
    return std::string(kKind) + " " + key_ + " (" + length(before_) + " -> " + length(written_) +
           " characters)";
}

ActionResult TrustedPathsValue::Apply(ActionContext& ctx) {
    UniqueRegKey key(ctx.reg);
    long rc = ctx.reg.CreateKey(kHkeyCurrentUser, key_.c_str(), key.put());
    if (rc == kRegOk && !key) rc = kRegInvalidHandle;
    if (rc != kRegOk) return ActionResult::FromRegistry(rc);
    return SetWide(ctx.reg, key.get(), written_.type, written_.data);
}

ActionResult TrustedPathsValue::Undo(ActionContext& ctx) {
    const RegValueState now = ReadValueState(ctx.reg, kHkeyCurrentUser, key_, kTrustedPaths);
    if (!now.valueExists) {
        // Removed since, or never written: nothing of ours is left but a key
        // made for it, which goes while empty.
        if (now.keyExists && !before_.keyExists) DeleteIfEmpty(ctx.reg, key_);
        return ActionResult::Ok();
    }
    // Ours: the installation folder and the folders it moved from, as the
    // installation wrote them, upper-cased by the system (an entry of the
    // user's, "D:\Ångström" say, is no entry of ours in any case).
    std::vector<WideString> ours;
    for (const std::string& folder : OwnFolders(ctx)) {
        WideString wide;
        if (ctx.wide.ToWide(folder, &wide) && !wide.empty()) ours.push_back(ctx.wide.UpperWide(wide));
    }
    if (!IsTextType(now.type)) return ActionResult::Ok();
    // Without ours, what the value holds now; an entry the value held
    // before the installation stays.
    RegValueState kept = now;
    for (const WideString& folder : ours)
        if (!StoredValueHasEntry(before_, folder, ctx.wide)) (void)RemoveStoredEntry(&kept, folder, ctx.wide);

    UniqueRegKey key(ctx.reg);
    long rc = ctx.reg.OpenKey(kHkeyCurrentUser, key_.c_str(), key.put());
    if (rc == kRegOk && !key) rc = kRegInvalidHandle;
    if (rc != kRegOk) return ActionResult::FromRegistry(rc);

    // The value as the installation left it, with nothing the user added
    // since: what was there comes back exactly (its letter case, or no
    // value at all).
    const auto entries = [&](const RegValueState& v) {
        std::vector<WideString> out;
        if (!v.valueExists || !IsTextType(v.type)) return out;
        for (const WideString& e : TrustedPathList(TrustedPathList::Body(UnpackUtf16(v.data))).Entries())
            if (!TrustedPathList::Folded(e).empty()) out.push_back(TrustedPathList::Folded(ctx.wide.UpperWide(e)));
        return out;
    };
    const std::vector<WideString> held = entries(before_);
    bool onlyBefore = now == written_;
    for (const WideString& e : entries(kept))
        onlyBefore = onlyBefore && std::find(held.begin(), held.end(), e) != held.end();
    if (onlyBefore || (!before_.valueExists && entries(kept).empty())) {
        if (before_.valueExists) return SetWide(ctx.reg, key.get(), before_.type, before_.data);
        rc = ctx.reg.DeleteValue(key.get(), kTrustedPaths);
        if (rc != kRegOk && rc != kRegNotFound) return ActionResult::FromRegistry(rc);
        if (!before_.keyExists) {
            key.reset();
            DeleteIfEmpty(ctx.reg, key_);
        }
        return ActionResult::Ok();
    }
    if (kept == now) return ActionResult::Ok();
    return SetWide(ctx.reg, key.get(), kept.type, kept.data);
}

}  // namespace tx
