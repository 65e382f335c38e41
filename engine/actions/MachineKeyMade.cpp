#include "engine/actions/MachineKeyMade.h"

namespace tx {

std::unique_ptr<Action> MachineKeyMade::Parse(const std::vector<std::string>& f) {
    if (f.size() != 2) return nullptr;
    return std::make_unique<MachineKeyMade>(f[1]);
}

ActionResult MachineKeyMade::Apply(ActionContext& ctx) {
    UniqueRegKey key(ctx.reg);
    return ActionResult::FromRegistry(ctx.reg.CreateKey(kHkeyLocalMachine, path_.c_str(), key.put()));
}

ActionResult MachineKeyMade::Undo(ActionContext& ctx) {
    {
        UniqueRegKey key(ctx.reg);
        const long rc = ctx.reg.OpenKeyRead(kHkeyLocalMachine, path_.c_str(), key.put());
        if (rc == kRegNotFound) return ActionResult::Ok();
        if (rc != kRegOk || !key) return ActionResult::FromRegistry(rc == kRegOk ? kRegInvalidHandle : rc);
        std::uint32_t subkeys = 1;
        std::uint32_t values = 1;
        long q = ctx.reg.QuerySubkeyCount(key.get(), &subkeys);
        if (q == kRegOk) q = ctx.reg.QueryValueCount(key.get(), &values);
        if (q != kRegOk) return ActionResult::FromRegistry(q);
        // Something else lives there now: the key is no longer only ours.
        if (subkeys != 0 || values != 0) return ActionResult::Left();
    }
    const long rc = ctx.reg.DeleteKey(kHkeyLocalMachine, path_.c_str());
    return rc == kRegNotFound ? ActionResult::Ok() : ActionResult::FromRegistry(rc);
}

}  // namespace tx
