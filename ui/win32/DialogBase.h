// The least dialog layer the installer needs: a modal dialog from a resource
// template, button clicks dispatched by control id, IDOK / IDCANCEL routed to
// OnOK / OnCancel, WM_CTLCOLOR* forwarded to OnCtlColor, and the dialog's
// controls reachable by id for data exchange.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>

#include "ui/DataExchange.h"

namespace tx {

class DialogBase : public IControlAccess {
public:
    DialogBase(HINSTANCE instance, int templateId, HWND parent);
    ~DialogBase() override = default;
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // Creates the dialog from its template and runs it; the value given to
    // End, or -1 when the dialog cannot be created.
    INT_PTR DoModal();

    HWND Hwnd() const { return hwnd_; }
    HINSTANCE Instance() const { return instance_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

    // IControlAccess over the dialog's controls.
    bool HasControl(int id) override;
    int GetCheck(int id) override;
    void SetCheck(int id, int state) override;
    std::string GetText(int id) override;
    void SetText(int id, const std::string& text) override;

protected:
    // A click on the button id (BN_CLICKED); the last registration wins.
    void OnClicked(int id, std::function<void()> handler);
    void End(INT_PTR result);

    // Called once the controls exist; the result goes back to the dialog
    // manager (TRUE: focus the first control).
    virtual BOOL OnInitDialog() { return TRUE; }
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    // WM_CTLCOLORDLG and the other WM_CTLCOLOR* messages; control is the
    // dialog itself for WM_CTLCOLORDLG. Null leaves the painting to the
    // system.
    virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT message);
    // The system's colours for the message (what the default handling
    // would set in the drawing context).
    void DefaultCtlColor(HDC dc, HWND control, UINT message);

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE instance_;
    int templateId_;
    HWND parent_;
    HWND hwnd_ = nullptr;
    std::map<int, std::function<void()>> clicks_;
};

}  // namespace tx
