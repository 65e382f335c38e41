// The key that makes one AutoCAD product load the plug-in at start: its
// LOADER names the module in the installation folder.
#pragma once

#include "engine/Action.h"

namespace tx {

class DemandLoadKey final : public Action {
public:
    static constexpr const char* kKind = "demand-load";
    // journaled false: the journal names this key with this LOADER from an
    // earlier run already, whose undo stays the one that counts.
    DemandLoadKey(std::string path, std::string loader, bool journaled = true)
        : path_(std::move(path)), loader_(std::move(loader)), journaled_(journaled) {}
    static std::unique_ptr<Action> Parse(const std::vector<std::string>& f);

    const std::string& Path() const { return path_; }
    const std::string& Loader() const { return loader_; }
    std::vector<std::string> Fields() const override;
    // Deleting first drops whatever an earlier entry held; a key with
    // subkeys of its own survives and is only rewritten.
    ActionResult Apply(ActionContext& ctx) override;
    // Only while its LOADER still points into this installation folder:
    // otherwise another installation has made it its own.
    ActionResult Undo(ActionContext& ctx) override;

private:
    std::string path_;
    std::string loader_;
    bool journaled_;
};

}  // namespace tx
