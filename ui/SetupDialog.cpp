#include "ui/SetupDialog.h"

#include "platform/TextFormat.h"
#include "platform/UserIo.h"
#include "res/resource.h"

namespace tx {

const std::array<int, kReleaseCount> kReleaseCheckboxIds = {
    IDC_ACAD2007, IDC_ACAD2008, IDC_ACAD2009, IDC_ACAD2010, IDC_ACAD2011, IDC_ACAD2012,
    IDC_ACAD2013, IDC_ACAD2014, IDC_ACAD2015, IDC_ACAD2016, IDC_ACAD2017, IDC_ACAD2018,
    IDC_ACAD2019, IDC_ACAD2020, IDC_ACAD2021, IDC_ACAD2022, IDC_ACAD2023, IDC_ACAD2024};

const char* const kInstallCaption = "Tarnix软件安装";
const char* const kVersionFormat = "Tarnix批打印软件 V%d.%d.%d (%d位版本)";
const char* const kCloseAcadMessage = "请关闭AutoCAD后再进行安装 !";
const char* const kEmptyPathMessage = "安装路径为空，请输入或选择安装路径 !";
const char* const kSemicolonPathMessage = "安装路径中不能含有分号(;)，请重新选择安装路径 !";
const char* const kInvalidPathMessage = "安装路径无效，请重新输入或选择安装路径 !";
const char* const kPathTooLongMessage = "安装路径过长，请选择较短的安装路径 !";
const char* const kUnsafeFolderMessage = "安装目录已存在且不安全，请选择其他安装路径 !";
const char* const kFolderNotMadeMessage = "无法创建安装目录，请选择其他安装路径 !";
const char* const kImageNotHeldMessage =
    "安装程序文件正被其他程序占用，无法确保其未被篡改，安装已停止 !";
const char* const kNoDataFolderMessage =
    "未找到安装所需的Data文件夹 !\n\n可能安装文件下载后没有解压，\n\n请解压后再执行SetUp.exe !";

const char* const kRestartNeededMessage =
    "上次卸载Tarnix批打印软件后尚未重新启动计算机。\n\n请重新启动计算机后再执行SetUp.exe !";

namespace {
const char kCopyFailedHead[] = "拷贝文件 ";
const char kCopyFailedTail[] =
    " 失败，可能原因如下：\n\n1、AutoCAD未关闭\n\n2、系统权限未开放，请以管理者权限登陆系统";
}  // namespace

namespace {

constexpr int kProgressTop = 50;
// Releases from this index on need a 64-bit host.
constexpr int kFirst64BitOnlyRelease = 2017 - kFirstReleaseYear;

}  // namespace

Dlg_Setup::Dlg_Setup(ISetupView& view, CAcadInfo& info, IInstaller& installer,
                     const CodePage& codePage, InstallRun& run, int buildBits)
    // The folder chosen for the installation already there: adding a
    // release or repairing it keeps it where it is.
    : m_strPath(RememberedFolder(installer.InstalledFolder(), codePage)),
      view_(view),
      info_(info),
      installer_(installer),
      cp_(codePage),
      run_(run),
      buildBits_(buildBits) {
    m_bRelease.fill(1);
}

void Dlg_Setup::DoDataExchange(DataExchange& dx) {
    for (int i = kReleaseCount - 1; i >= 0; --i) dx.Control(kReleaseCheckboxIds[i], m_chkAcad[i]);
    for (int i = 0; i < kReleaseCount; ++i) dx.Check(kReleaseCheckboxIds[i], m_bRelease[i]);
    dx.Text(IDC_VERSION, m_strVersion);
    dx.Control(IDC_PROGRESS, m_progress);
    dx.Text(IDC_PATH, m_strPath);
}

bool Dlg_Setup::UpdateData(bool saveAndValidate) {
    DataExchange dx(view_, saveAndValidate);
    DoDataExchange(dx);
    return dx.Ok();
}

bool Dlg_Setup::OnInitDialog() {
    UpdateData(false);

    m_strVersion = FormatText(kVersionFormat, {kVersionNumber / 10000, (kVersionNumber % 10000) / 100,
                                               kVersionNumber % 100, buildBits_});

    view_.SetSmallIcon(IDI_APP);  // a missing icon is no error

    for (int i = 0; i < kReleaseCount; ++i) {
        if (info_.m_arrAcadLocation[i].empty()) {
            view_.EnableControl(kReleaseCheckboxIds[i], false);
            m_bRelease[i] = 0;
        }
        if (presetTicks_ && ticks_[i] == 0) m_bRelease[i] = 0;
    }

    if (buildBits_ == 32) {
        for (int i = kFirst64BitOnlyRelease; i < kReleaseCount; ++i) {
            view_.ShowControl(kReleaseCheckboxIds[i], false);
            m_bRelease[i] = 0;
        }
    }

    UpdateData(false);
    UpdateOkButton();
    return true;
}

void Dlg_Setup::Preset(const std::string& folderText, const TickFlags& ticks) {
    m_strPath = folderText;
    presetTicks_ = true;
    ticks_ = ticks;
}

void Dlg_Setup::UpdateOkButton() {
    UpdateData(true);
    bool anyTicked = false;
    for (int flag : m_bRelease) anyTicked = anyTicked || flag != 0;
    // The completion button, never Install: installing with nothing ticked
    // still deploys the payload and trusts the folder.
    view_.EnableControl(kIdOk, anyTicked);
}

void Dlg_Setup::OnReleaseClicked() { UpdateOkButton(); }

void Dlg_Setup::OnBrowse() {
    // Start from the folder as typed, not as it was at start-up.
    UpdateData(true);
    std::string folder = m_strPath;
    if (view_.ChooseFolder(&folder)) {
        m_strPath = folder;
        UpdateData(false);
    }
    UpdateOkButton();
}

void Dlg_Setup::OnInstall() {
    if (stage_ != Stage::Initial) return;

    if (run_.AcadCheckPending && installer_.IsAcadRunning()) {
        outcome_ = Outcome::AcadRunning;
        Tell(view_.Messages(), kCloseAcadMessage, kInstallCaption, kMbOk);
        run_.AcadCheckPending = false;
        return;
    }

    // Every return until the folder is ready is a refusal of the folder.
    outcome_ = Outcome::FolderRefused;
    UpdateData(true);
    std::string chosen;
    std::string folder;
    switch (CheckFolderText(m_strPath, cp_, installer_.MaxInstallFolderLength(), &chosen, &folder)) {
        case FolderRefusal::None: break;
        case FolderRefusal::Empty:
            Tell(view_.Messages(), kEmptyPathMessage, kInstallCaption, kMbOk | kMbIconStop);
            return;
        case FolderRefusal::Semicolon:
            Tell(view_.Messages(), kSemicolonPathMessage, kInstallCaption, kMbOk | kMbIconStop);
            return;
        case FolderRefusal::Invalid:
            Tell(view_.Messages(), kInvalidPathMessage, kInstallCaption, kMbOk | kMbIconStop);
            return;
        case FolderRefusal::TooLong:
            Tell(view_.Messages(), kPathTooLongMessage, kInstallCaption, kMbOk);
            return;
    }

    // Both levels stay open until the installation is over: what is copied
    // and registered is the folder checked here. A refusal leaves the
    // typed text for choosing another folder.
    PreparedFolder prepared = installer_.PrepareInstallFolder(chosen, folder);
    if (prepared.readiness != FolderReadiness::Ready) {
        Tell(view_.Messages(),
             prepared.readiness == FolderReadiness::UnsafeExisting ? kUnsafeFolderMessage
                                                                   : kFolderNotMadeMessage,
             kInstallCaption, kMbOk | kMbIconStop);
        return;
    }
    m_strPath = folder;

    if (!RunInstall(prepared)) {
        outcome_ = Outcome::PayloadFailed;
        return;
    }
    outcome_ = Outcome::Completed;

    ShowCompletionView();
    UpdateData(false);
    ShortenWindow();
}

bool Dlg_Setup::RunInstall(PreparedFolder& prepared) {
    stage_ = Stage::Installing;
    view_.ShowControl(IDC_HEAD_PATH, false);
    view_.ShowControl(IDC_PATH, false);
    view_.ShowControl(IDC_BROWSE, false);
    view_.ShowControl(IDC_PROGRESS, true);

    IProgress& bar = view_.ProgressBar();
    bar.SetRange(0, kProgressTop);
    bar.SetStep(1);
    bar.SetPos(0);

    InstallRequest request;
    request.folder = m_strPath;
    if (cp_.EndsWithBackslash(request.folder)) request.folder.pop_back();
    request.madeLevels = prepared.created;
    request.hold = &prepared.hold;
    request.ticks = m_bRelease;
    info_.m_strInstallDir = request.folder;
    if (installer_.Install(info_, request, *this) != InstallResult::Completed) {
        OnCancel();
        return false;
    }
    bar.SetPos(kProgressTop);
    return true;
}

CopyFailedAnswer Dlg_Setup::CopyFailed(const std::string& target) {
    const int answer = view_.Messages().Show(kCopyFailedHead + target + kCopyFailedTail,
                                             kInstallCaption, kMbAbortRetryIgnore);
    if (answer == kIdRetry) return CopyFailedAnswer::Retry;
    if (answer == kIdIgnore) return CopyFailedAnswer::Ignore;
    // Anything else, a failed box included, stops here.
    return CopyFailedAnswer::Abort;
}

void Dlg_Setup::NoDataFolder() {
    Tell(view_.Messages(), kNoDataFolderMessage, kInstallCaption, kMbOk);
}

void Dlg_Setup::RestartNeeded() {
    Tell(view_.Messages(), kRestartNeededMessage, kInstallCaption, kMbOk | kMbIconStop);
}

void Dlg_Setup::Step() { view_.ProgressBar().StepIt(); }

void Dlg_Setup::ShowCompletionView() {
    stage_ = Stage::Completed;
    view_.ShowControl(IDC_DONE_NOTE, true);
    view_.ShowControl(IDC_MENU_PICTURE, true);
    view_.ShowControl(IDC_HEAD_RELEASES, false);
    view_.ShowControl(IDC_PROGRESS, false);
    view_.ShowControl(kIdOk, true);
    view_.ShowControl(IDC_INSTALL, false);
    view_.ShowControl(kIdCancel, false);
    for (int id : kReleaseCheckboxIds) view_.ShowControl(id, false);
}

void Dlg_Setup::ShortenWindow() {
    Rect window = view_.WindowRect();
    const Rect done = view_.ControlRect(kIdOk);
    const Rect cancel = view_.ControlRect(kIdCancel);
    window.bottom += done.bottom - cancel.bottom;
    view_.MoveWindow(window);
}

void Dlg_Setup::OnOK() {
    // Enter in the folder edit also arrives as IDOK; only the completion
    // button may end the dialog as done.
    if (stage_ != Stage::Completed) return;
    if (UpdateData(true)) {
        stage_ = Stage::Ended;
        view_.EndDialog(kIdOk);
    }
}

void Dlg_Setup::OnCancel() {
    stage_ = Stage::Ended;
    view_.EndDialog(kIdCancel);
}

}  // namespace tx
