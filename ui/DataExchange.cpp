#include "ui/DataExchange.h"

namespace tx {

bool DataExchange::Exists(int id) {
    if (controls_.HasControl(id)) return true;
    ok_ = false;
    return false;
}

void DataExchange::Control(int id, BoundControl& control) {
    if (control.bound()) return;  // bound once, on the first exchange
    if (Exists(id)) control.id = id;
}

void DataExchange::Check(int id, int& value) {
    if (!Exists(id)) return;
    if (save_) {
        value = controls_.GetCheck(id);
    } else {
        controls_.SetCheck(id, (value >= 0 && value <= 2) ? value : 0);
    }
}

void DataExchange::Text(int id, std::string& value) {
    if (!Exists(id)) return;
    if (save_) {
        value = controls_.GetText(id);
    } else {
        controls_.SetText(id, value);
    }
}

}  // namespace tx
