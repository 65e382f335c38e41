#include "engine/actions/DemandLoadKey.h"

namespace tx {

std::unique_ptr<Action> DemandLoadKey::Parse(const std::vector<std::string>& f) {
    if (f.size() != 3) return nullptr;
    return std::make_unique<DemandLoadKey>(f[1], f[2]);
}

std::vector<std::string> DemandLoadKey::Fields() const {
    if (!journaled_) return {};
    return {kKind, path_, loader_};
}

ActionResult DemandLoadKey::Apply(ActionContext& ctx) {
    static constexpr unsigned char kLoadCtrls[4] = {2, 0, 0, 0};  // REG_DWORD 2, little-endian
    const long deleted = ctx.reg.DeleteKey(kHkeyLocalMachine, path_.c_str());
    (void)deleted;  // none there, or one with subkeys: rewritten below either way
    UniqueRegKey entry(ctx.reg);
    long rc = ctx.reg.CreateKey(kHkeyLocalMachine, path_.c_str(), entry.put());
    if (rc == kRegOk && !entry) rc = kRegInvalidHandle;
    if (rc == kRegOk) rc = ctx.reg.SetValue(entry.get(), "LOADCTRLS", kRegDword, kLoadCtrls, sizeof kLoadCtrls);
    if (rc == kRegOk)
        rc = ctx.reg.SetValue(entry.get(), "LOADER", kRegSz,
                              reinterpret_cast<const unsigned char*>(loader_.c_str()),
                              static_cast<std::uint32_t>(loader_.size() + 1));
    return ActionResult::FromRegistry(rc);
}

ActionResult DemandLoadKey::Undo(ActionContext& ctx) {
    if (!journaled_) return ActionResult::Ok();
    {
        UniqueRegKey key(ctx.reg);
        const long rc = ctx.reg.OpenKeyRead(kHkeyLocalMachine, path_.c_str(), key.put());
        if (rc == kRegNotFound) return ActionResult::Ok();
        if (rc != kRegOk || !key) return ActionResult::FromRegistry(rc == kRegOk ? kRegInvalidHandle : rc);
        std::vector<unsigned char> buffer(2048, 0);
        std::uint32_t size = static_cast<std::uint32_t>(buffer.size() - 1);
        std::uint32_t type = 0;
        if (ctx.reg.QueryValue(key.get(), "LOADER", &type, buffer.data(), &size) != kRegOk) {
            // Without a LOADER it is ours only as Apply left it when cut
            // short: empty, or with LOADCTRLS alone.
            std::uint32_t values = 0;
            std::uint32_t ctrlsSize = static_cast<std::uint32_t>(buffer.size());
            const bool halfMade =
                ctx.reg.QueryValueCount(key.get(), &values) == kRegOk &&
                (values == 0 || (values == 1 && ctx.reg.QueryValue(key.get(), "LOADCTRLS", &type,
                                                                   buffer.data(), &ctrlsSize) == kRegOk));
            if (!halfMade) return ActionResult::Ok();  // not ours any more
        } else {
            std::string loader(reinterpret_cast<const char*>(buffer.data()));
            if (loader.size() >= 2 && loader.front() == '"' && loader.back() == '"')
                loader = loader.substr(1, loader.size() - 2);
            const std::size_t slash = ctx.cp.LastBackslash(loader);
            if (slash == CodePage::npos ||
                !ctx.cp.EqualsNoCase(loader.substr(0, slash), ctx.installFolder))
                return ActionResult::Ok();
        }
    }
    const long rc = ctx.reg.DeleteKey(kHkeyLocalMachine, path_.c_str());
    return rc == kRegNotFound ? ActionResult::Ok() : ActionResult::FromRegistry(rc);
}

}  // namespace tx
