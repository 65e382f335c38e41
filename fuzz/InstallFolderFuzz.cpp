// Forming the installation folder from the folder text when Install is
// clicked: one trailing backslash dropped, the product's subfolder appended,
// both levels readied, and that folder (and nothing else) handed on; a folder
// holding ';', ill-formed or too long refused with its own message first.
//
// Input: a selector byte (bit 0: code page 936, else 1252; bit 1: AutoCAD is
// running; bit 2: a payload copy fails and the user aborts; bit 3: the
// folder is refused as unsafe, bit 4: as not made), a byte that sets the
// longest folder the installer accepts, then the folder text (up to its
// first NUL, as an edit control holds it).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "tests/fakes/FakeSetupView.h"
#include "ui/SetupDialog.h"

namespace tx::fuzz {
namespace {

// Records what the dialog hands on; a run steps the bar and, when told,
// meets a failed copy the way the engine puts it to the dialog.
class RecordingInstaller : public IInstaller {
public:
    bool IsAcadRunning() override { return acadRunning; }
    std::size_t MaxInstallFolderLength() override { return maxFolder; }
    std::string InstalledFolder() override { return std::string(); }
    PreparedFolder PrepareInstallFolder(const std::string& chosen,
                                        const std::string& installFolder) override {
        folders.push_back(chosen);
        folders.push_back(installFolder);
        PreparedFolder out;
        out.readiness = readiness;
        if (readiness == FolderReadiness::Ready) out.created = {chosen, installFolder};
        return out;
    }
    InstallResult Install(const CAcadInfo& info, const InstallRequest& request,
                          IInstallObserver& observer) override {
        requests.push_back(request);
        installDirs.push_back(info.m_strInstallDir);
        allOrNothing = observer.AllOrNothing();
        for (int i = 0; i < 5; ++i) observer.Step();
        if (copyFails) {
            answer = observer.CopyFailed(request.folder + "\\TX_BatchPlot2021.ARX");
            if (answer == CopyFailedAnswer::Abort) return InstallResult::Aborted;
        }
        return InstallResult::Completed;
    }

    bool acadRunning = false;
    bool copyFails = false;
    std::size_t maxFolder = 0;
    std::vector<std::string> folders;
    FolderReadiness readiness = FolderReadiness::Ready;
    std::vector<InstallRequest> requests;
    std::vector<std::string> installDirs;
    bool allOrNothing = true;
    CopyFailedAnswer answer = CopyFailedAnswer::Retry;
};

bool EndsWithWholeBackslash(const std::string& s, const CodePage& cp) {
    return !s.empty() && SingleByteAt(s, CharStarts(s, cp), s.size() - 1) == '\\';
}

}  // namespace
}  // namespace tx::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tx;
    using namespace tx::fuzz;
    InputReader in(data, size);
    const std::uint8_t selector = in.Byte();
    const CodePage cp(CodePageOf(selector));
    RecordingInstaller steps;
    steps.acadRunning = (selector & 2) != 0;
    steps.copyFails = (selector & 4) != 0;
    if ((selector & 8) != 0) steps.readiness = FolderReadiness::UnsafeExisting;
    if ((selector & 16) != 0) steps.readiness = FolderReadiness::Failed;
    steps.maxFolder = 100 + in.Byte();
    const std::string text = UpToNul(in.Rest());

    FakeSetupView view;
    CAcadInfo info;
    InstallRun run;
    Dlg_Setup dlg(view, info, steps, cp, run);
    FUZZ_CHECK(dlg.OnInitDialog());
    view.SetText(IDC_PATH, text);

    if (steps.acadRunning) {
        // The first click only asks to close AutoCAD.
        dlg.OnInstall();
        FUZZ_CHECK(view.messages.Calls().size() == 1 && steps.folders.empty());
        FUZZ_CHECK(dlg.CurrentStage() == Dlg_Setup::Stage::Initial);
    }
    const std::size_t boxesBefore = view.messages.Calls().size();
    dlg.OnInstall();
    const std::size_t boxes = view.messages.Calls().size() - boxesBefore;

    std::string parent = text;
    if (EndsWithWholeBackslash(parent, cp)) parent.pop_back();
    const std::string folder = parent + kProductSubfolder;

    // ';' is never the second byte of a double-byte character in 936.
    const bool semicolon = folder.find(';') != std::string::npos;
    const bool wellFormed = ExpectedWellFormedPath(folder, cp);
    if (text.empty() || semicolon || !wellFormed || folder.size() > steps.maxFolder) {
        // Refused with a message; nothing made, nothing handed on.
        FUZZ_CHECK(boxes == 1);
        const std::string& shown = view.messages.Calls().back().text;
        FUZZ_CHECK(shown == (text.empty() ? kEmptyPathMessage
                             : semicolon  ? kSemicolonPathMessage
                             : !wellFormed ? kInvalidPathMessage
                                           : kPathTooLongMessage));
        FUZZ_CHECK(steps.folders.empty() && steps.requests.empty());
        FUZZ_CHECK(dlg.CurrentStage() == Dlg_Setup::Stage::Initial && view.endResults.empty());
        FUZZ_CHECK(info.m_strInstallDir.empty());
        return 0;
    }

    FUZZ_CHECK((steps.folders == std::vector<std::string>{parent, folder}));
    if (steps.readiness != FolderReadiness::Ready) {
        // Refused with a message after the folder was looked at; nothing more.
        FUZZ_CHECK(boxes == 1);
        FUZZ_CHECK(steps.requests.empty());
        FUZZ_CHECK(dlg.CurrentStage() == Dlg_Setup::Stage::Initial && view.endResults.empty());
        FUZZ_CHECK(info.m_strInstallDir.empty() && dlg.m_strPath == text);
        return 0;
    }
    // One run into exactly that folder, with the levels made for it, as
    // the dialog's run: not all or nothing.
    FUZZ_CHECK(steps.requests.size() == 1);
    const InstallRequest& request = steps.requests[0];
    FUZZ_CHECK(request.folder == folder && !EndsWithWholeBackslash(folder, cp));
    FUZZ_CHECK((request.madeLevels == std::vector<std::string>{parent, folder}));
    FUZZ_CHECK(folder.size() <= steps.maxFolder);
    FUZZ_CHECK((steps.installDirs == std::vector<std::string>{folder}));
    FUZZ_CHECK(!steps.allOrNothing);
    if (!steps.copyFails) {
        FUZZ_CHECK(boxes == 0);
        FUZZ_CHECK(dlg.CurrentStage() == Dlg_Setup::Stage::Completed);
        FUZZ_CHECK(dlg.LastOutcome() == Dlg_Setup::Outcome::Completed);
        FUZZ_CHECK(view.progress.Pos() == 50 && view.endResults.empty());
    } else {
        // The failed copy is put to the user once; no answer is Abort.
        FUZZ_CHECK(boxes == 1 && steps.answer == CopyFailedAnswer::Abort);
        FUZZ_CHECK(view.messages.Calls().back().style == kMbAbortRetryIgnore);
        FUZZ_CHECK(dlg.LastOutcome() == Dlg_Setup::Outcome::PayloadFailed);
        FUZZ_CHECK(view.progress.Pos() != 50);
        FUZZ_CHECK((view.endResults == std::vector<int>{kIdCancel}));
    }

    // A further click, in whatever view, installs nothing more.
    dlg.OnInstall();
    FUZZ_CHECK(steps.folders.size() == 2 && steps.requests.size() == 1);
    return 0;
}
