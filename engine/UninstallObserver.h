// What the uninstall run asks of whoever started it: the uninstaller's
// message boxes, or a silent run's fixed answers.
#pragma once

namespace tx {

class IUninstallObserver {
public:
    virtual ~IUninstallObserver() = default;
    // The journal is missing or damaged; nothing can be undone.
    virtual void JournalDamaged() = 0;
    // AutoCAD runs: true to look again, false to give up.
    virtual bool RetryWhileAcadRuns() = 0;
    virtual bool ConfirmUninstall() = 0;
    // Everything is undone, or will be at the next restart.
    virtual void Done() = 0;
};

}  // namespace tx
