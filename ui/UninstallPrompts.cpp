#include "ui/UninstallPrompts.h"

namespace tx {

const char* const kUninstallCaption = "Tarnix软件卸载";
const char* const kUninstallCloseAcad = "请关闭AutoCAD后再进行卸载 !";
const char* const kUninstallConfirm = "确定要卸载Tarnix批打印软件吗？";
const char* const kUninstallDone = "Tarnix批打印软件已成功卸载 !";
const char* const kUninstallDamaged = "卸载信息已损坏，无法卸载 !";

void UninstallPrompts::JournalDamaged() {
    if (!silent_) Tell(mb_, kUninstallDamaged, kUninstallCaption, kMbOk | kMbIconStop);
}

bool UninstallPrompts::RetryWhileAcadRuns() {
    if (silent_) return false;
    return mb_.Show(kUninstallCloseAcad, kUninstallCaption, kMbRetryCancel | kMbIconExclamation) ==
           kIdRetry;
}

bool UninstallPrompts::ConfirmUninstall() {
    return silent_ || mb_.Show(kUninstallConfirm, kUninstallCaption, kMbYesNo | kMbIconQuestion) == kIdYes;
}

void UninstallPrompts::Done() {
    if (!silent_) Tell(mb_, kUninstallDone, kUninstallCaption, kMbOk);
}

}  // namespace tx
