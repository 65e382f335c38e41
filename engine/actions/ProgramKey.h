// A key of the program's own, made whole and removed whole: the Programs
// and Features entry and the Active Setup component (the machine's key and
// the installing user's mark).
#pragma once

#include "engine/Action.h"
#include "engine/actions/DemandLoadKey.h"

namespace tx {

struct KeyValue {
    std::string name;
    std::uint32_t type;
    std::vector<unsigned char> data;
};
KeyValue TextValue(const std::string& name, const std::string& text,
                   std::uint32_t type = kRegSz);
KeyValue NumberValue(const std::string& name, std::uint32_t value);

class ProgramKey final : public Action {
public:
    static constexpr const char* kKind = "uninstall-entry";
    // path: below HKEY_LOCAL_MACHINE, or "HKCU\" + path. journaled false:
    // an earlier run journaled the key already, and the installation it
    // belongs to keeps it if this run is undone.
    ProgramKey(std::string path, std::vector<KeyValue> values, bool journaled = true)
        : path_(std::move(path)), values_(std::move(values)), journaled_(journaled) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Path() const { return path_; }
    const std::vector<KeyValue>& Values() const { return values_; }
    std::vector<std::string> Fields() const override;
    std::string Describe() const override {
        return std::string(kKind) + " " + path_ + (journaled_ ? "" : " (journaled before)");
    }
    // Reads the key as it is, for this run's own undo.
    ActionResult Prepare(ActionContext& ctx) override;
    ActionResult Apply(ActionContext& ctx) override;
    // This run's undo puts the key back as it found it. The uninstaller's
    // removes it whole, unless an installation into another folder has
    // made it its own since (the user's mark goes with the machine's key).
    ActionResult Undo(ActionContext& ctx) override;

private:
    std::string path_;
    std::vector<KeyValue> values_;
    bool journaled_;
    KeyContent found_;  // read by Prepare; unknown in a journal's line
};

}  // namespace tx
