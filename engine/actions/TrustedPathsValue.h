// TRUSTEDPATHS of one AutoCAD profile of the current user, with the
// installation folder added: the value as it was and as written.
#pragma once

#include "engine/Action.h"
#include "host/RegValueState.h"

namespace tx {

class TrustedPathsValue final : public Action {
public:
    static constexpr const char* kKind = "trusted-paths";
    // key: the profile's Variables key below HKEY_CURRENT_USER.
    TrustedPathsValue(std::string key, RegValueState before, RegValueState written)
        : key_(std::move(key)), before_(std::move(before)), written_(std::move(written)) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Key() const { return key_; }
    const RegValueState& Before() const { return before_; }
    const RegValueState& Written() const { return written_; }
    std::vector<std::string> Fields() const override;
    // With the value's length before and as written, in characters.
    std::string Describe() const override;
    ActionResult Apply(ActionContext& ctx) override;
    // A value still as written gets its bytes back. One edited since loses
    // only this folder's entry, and only when the value before did not
    // hold it: the user trusted the folder then and still does.
    ActionResult Undo(ActionContext& ctx) override;

private:
    std::string key_;
    RegValueState before_;
    RegValueState written_;
};

}  // namespace tx
