// One change an installation makes to the machine. Each kind keeps its
// three faces side by side: how it is made, how it is undone, and its line
// in the journal. A run writes an action's line to disk before it makes the
// change, so an undo may meet a change that never happened or happened
// half: every undo is harmless then.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/CodePage.h"
#include "platform/OsResult.h"
#include "platform/Registry.h"
#include "platform/WideText.h"

namespace tx {

class HeldPayload;

// What applying or undoing an action came to.
class [[nodiscard]] ActionResult {
public:
    enum class Status {
        Done,       // made, or undone (also: nothing was there to undo)
        AtRestart,  // undone once the machine restarts (a file in use)
        Left,       // left in place on purpose: it holds what is not ours
        Failed,
    };
    static ActionResult Ok() { return ActionResult(Status::Done, 0); }
    static ActionResult AtRestart() { return ActionResult(Status::AtRestart, 0); }
    static ActionResult Left() { return ActionResult(Status::Left, 0); }
    // error: the system's code; a failure always carries one.
    static ActionResult Fail(std::uint32_t error) {
        return ActionResult(Status::Failed, error == 0 ? kUnknownError : error);
    }
    static ActionResult FromRegistry(long rc) {
        return rc == kRegOk ? Ok() : Fail(static_cast<std::uint32_t>(rc));
    }
    static ActionResult FromOs(OsResult r) { return r ? Ok() : Fail(r.Code()); }
    Status status() const { return status_; }
    std::uint32_t error() const { return error_; }
    bool ok() const { return status_ != Status::Failed; }

    // The call failed without saying why.
    static constexpr std::uint32_t kUnknownError = kErrorGenFailure;

private:
    ActionResult(Status s, std::uint32_t e) : status_(s), error_(e) {}
    Status status_;
    std::uint32_t error_;
};

class Action;
using ActionList = std::vector<std::unique_ptr<Action>>;

// What an action works with.
struct ActionContext {
    IFileSystem& fs;
    IRegistry& reg;
    const IWideText& wide;
    const CodePage& cp;
    // The installation folder the journal belongs to.
    std::string installFolder;
    // The uninstaller's own program file, which it cannot delete itself.
    std::string runningImage;
    // The package's files as checked against the program's manifest, which
    // copies read instead of the names; null when nothing was checked.
    const HeldPayload* payload = nullptr;
    // The journal whose lines are being undone, when an undo needs to see
    // the others; null otherwise.
    const ActionList* journal = nullptr;
};

// How a failure of the action is met while installing.
enum class ActionRole {
    Payload,  // a payload copy: the user may retry, ignore or abort
    Quiet,    // registry work and support files: an interactive run goes on
};

class Action {
public:
    virtual ~Action() = default;

    // The journal line's fields, the kind first; none for a change that is
    // not journaled.
    virtual std::vector<std::string> Fields() const = 0;
    // Kind and what it changes, for the log and for tests.
    virtual std::string Describe() const;

    // Work that must be on disk before the line is (a backup); nothing by
    // default.
    virtual ActionResult Prepare(ActionContext&) { return ActionResult::Ok(); }
    virtual ActionResult Apply(ActionContext& ctx) = 0;
    virtual ActionResult Undo(ActionContext& ctx) = 0;

    virtual ActionRole Role() const { return ActionRole::Quiet; }
    // Whether Prepare writes to the disk (a backup), so that its line can
    // only follow it. The lines of all other actions are written together,
    // before the first change: an undo of a change never made is harmless.
    virtual bool PreparesOnDisk() const { return false; }
    // Whether it was refused before it changed anything (a file that turned
    // up at its target since the plan): its undo must not touch what is
    // there, and its line does not stay in the journal.
    virtual bool LeftAlone() const { return false; }
    // The file this action writes, for the bytes the entry reports; empty
    // for others.
    virtual std::string WrittenFile() const { return std::string(); }
};

// Reads one journal line's fields back into its action; null when the line
// is no action this program knows.
std::unique_ptr<Action> ParseAction(const std::vector<std::string>& fields);

}  // namespace tx
