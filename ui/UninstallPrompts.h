// The uninstaller's questions and reports as message boxes; a silent
// uninstall shows none and goes ahead.
#pragma once

#include "engine/UninstallObserver.h"
#include "platform/UserIo.h"

namespace tx {

// Texts (code page 936).
extern const char* const kUninstallCaption;
extern const char* const kUninstallCloseAcad;
extern const char* const kUninstallConfirm;
extern const char* const kUninstallDone;
extern const char* const kUninstallDamaged;

class UninstallPrompts final : public IUninstallObserver {
public:
    UninstallPrompts(IMessageBox& messages, bool silent) : mb_(messages), silent_(silent) {}

    void JournalDamaged() override;
    bool RetryWhileAcadRuns() override;
    bool ConfirmUninstall() override;
    void Done() override;

private:
    IMessageBox& mb_;
    bool silent_;
};

}  // namespace tx
