// The key that makes one AutoCAD product load the plug-in at start: its
// LOADER names the module in the installation folder. What the key held
// before (an older installation's entry, say) is kept in the line and put
// back by the undo.
#pragma once

#include "engine/Action.h"
#include "host/RegValueState.h"

namespace tx {

// Every value of a key as stored; `exists` false when there was no key.
struct KeyContent {
    bool exists = false;
    bool known = false;  // false: not read (or from a line that did not say)
    std::vector<std::pair<std::string, RegValueState>> values;

    bool operator==(const KeyContent& o) const;
};
// Reads a key whole; false when it cannot be read.
bool ReadKeyContent(IRegistry& reg, const std::string& path, KeyContent* content,
                    RegHandle root = kHkeyLocalMachine);
// Puts a key back as content says: deleted when there was none, else made
// again with exactly those values (a key with subkeys keeps them).
ActionResult WriteKeyContent(IRegistry& reg, RegHandle root, const std::string& path,
                             const KeyContent& content);
std::string KeyContentText(const KeyContent& content);
bool ParseKeyContent(const std::string& text, KeyContent* content);

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
    const KeyContent& Before() const { return before_; }
    void SetBefore(KeyContent before) { before_ = std::move(before); }
    std::vector<std::string> Fields() const override;
    std::string Describe() const override {
        return std::string(kKind) + " " + path_ + (journaled_ ? "" : " (journaled before)");
    }
    // Reads what the key holds now, for the line.
    ActionResult Prepare(ActionContext& ctx) override;
    // Deleting first drops whatever an earlier entry held; a key with
    // subkeys of its own survives and is only rewritten. LOADER goes first:
    // once the key holds anything, it says whose it is.
    ActionResult Apply(ActionContext& ctx) override;
    // Only while its LOADER still points into this installation folder
    // (or the key is still empty): otherwise another installation has made
    // it its own. What was there before comes back.
    ActionResult Undo(ActionContext& ctx) override;

private:
    ActionResult RestoreBefore(ActionContext& ctx);
    ActionResult RestoreInPlace(ActionContext& ctx, long deleteError);

    std::string path_;
    std::string loader_;
    bool journaled_;
    KeyContent before_;
};

}  // namespace tx
