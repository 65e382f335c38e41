// Moving values between a dialog's fields and its controls, the way the
// dialog's data exchange does it, over an abstract set of controls.
#pragma once

#include <string>

namespace tx {

// The controls of one dialog, addressed by id.
class IControlAccess {
public:
    virtual ~IControlAccess() = default;
    virtual bool HasControl(int id) = 0;
    // BM_GETCHECK / BM_SETCHECK: 0 unticked, 1 ticked, 2 indeterminate.
    virtual int GetCheck(int id) = 0;
    virtual void SetCheck(int id, int state) = 0;
    virtual std::string GetText(int id) = 0;
    virtual void SetText(int id, const std::string& text) = 0;
};

// A field that stands for a control of the dialog; bound by Control().
struct BoundControl {
    int id = 0;
    bool bound() const { return id != 0; }
};

class DataExchange {
public:
    // saveAndValidate: true reads the controls into the fields, false writes
    // the fields into the controls.
    DataExchange(IControlAccess& controls, bool saveAndValidate)
        : controls_(controls), save_(saveAndValidate) {}

    bool Saving() const { return save_; }
    // False once any exchange failed (a control that does not exist).
    bool Ok() const { return ok_; }

    void Control(int id, BoundControl& control);
    // A value outside 0..2 is written as 0.
    void Check(int id, int& value);
    void Text(int id, std::string& value);

private:
    bool Exists(int id);

    IControlAccess& controls_;
    bool save_;
    bool ok_ = true;
};

}  // namespace tx
