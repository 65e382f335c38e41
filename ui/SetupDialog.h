// The installer's main dialog: release checkboxes, installation folder,
// Install and Cancel, and the install sequence behind the Install button.
// The logic works on the window only through ISetupView.
#pragma once

#include <array>
#include <string>

#include "host/AcadInfo.h"
#include "host/ReleaseTable.h"
#include "platform/CodePage.h"
#include "engine/BuildInfo.h"
#include "ui/DataExchange.h"
#include "engine/Installer.h"
#include "ui/SetupView.h"

namespace tx {

// Checkbox id of each ReleaseIndex.
extern const std::array<int, kReleaseCount> kReleaseCheckboxIds;

// Texts the dialog shows (code page 936).
extern const char* const kInstallCaption;
extern const char* const kVersionFormat;
extern const char* const kCloseAcadMessage;
extern const char* const kEmptyPathMessage;
extern const char* const kSemicolonPathMessage;
extern const char* const kInvalidPathMessage;
extern const char* const kPathTooLongMessage;
extern const char* const kUnsafeFolderMessage;
extern const char* const kFolderNotMadeMessage;
// The elevated installer could not hold its own file (another program
// holds it with the right to rename it): it stops before changing anything.
extern const char* const kImageNotHeldMessage;
extern const char* const kNoDataFolderMessage;

// State that outlives one click: kept for the whole run of the program.
struct InstallRun {
    // Cleared by the first refusal while AutoCAD runs; later clicks install
    // even if it still runs.
    bool AcadCheckPending = true;
};

class Dlg_Setup : private IInstallObserver {
public:
    enum class Stage { Initial, Installing, Completed, Ended };
    // How the last Install click ended, for a run without a window.
    enum class Outcome {
        None,           // no click yet
        AcadRunning,    // asked to close AutoCAD, nothing done
        FolderRefused,  // the folder text was refused, nothing done
        PayloadFailed,  // no Data folder, or Abort after a failed copy (undone)
        Completed,
    };

    Dlg_Setup(ISetupView& view, CAcadInfo& info, IInstaller& installer, const CodePage& codePage,
              InstallRun& run, int buildBits = kBuildBits);

    void DoDataExchange(DataExchange& dx);
    // true: controls into fields; false: fields into controls.
    bool UpdateData(bool saveAndValidate);

    bool OnInitDialog();
    void UpdateOkButton();
    void OnReleaseClicked();
    void OnBrowse();
    void OnInstall();
    bool RunInstall(PreparedFolder& prepared);
    void OnOK();
    void OnCancel();

    Stage CurrentStage() const { return stage_; }
    Outcome LastOutcome() const { return outcome_; }

    // Before the dialog opens: the folder text and which of the detected
    // releases start ticked (a command line's presets).
    void Preset(const std::string& folderText, const TickFlags& ticks);
    // The folder text as the dialog holds it now.
    const std::string& FolderText() const { return m_strPath; }

    // Fields exchanged with the controls.
    std::array<BoundControl, kReleaseCount> m_chkAcad;  // by ReleaseIndex
    TickFlags m_bRelease;
    std::string m_strVersion;
    BoundControl m_progress;
    std::string m_strPath;

private:
    // The installation's questions, answered with the dialog's message
    // boxes and progress bar.
    CopyFailedAnswer CopyFailed(const std::string& target) override;
    bool AllOrNothing() override { return false; }
    void NoDataFolder() override;
    void RestartNeeded() override;
    void Step() override;

    void ShowCompletionView();
    void ShortenWindow();

    ISetupView& view_;
    CAcadInfo& info_;
    IInstaller& installer_;
    const CodePage& cp_;
    InstallRun& run_;
    int buildBits_;
    Stage stage_ = Stage::Initial;
    Outcome outcome_ = Outcome::None;
    bool presetTicks_ = false;
    TickFlags ticks_{};
};

}  // namespace tx
