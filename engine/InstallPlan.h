// The ordered changes of one installation run, made before any of them
// is: tests read it as data, the engine applies it.
#pragma once

#include <string>
#include <vector>

#include "engine/Action.h"

namespace tx {

struct PlannedAction {
    std::unique_ptr<Action> action;
    // Progress steps due before it.
    int stepsBefore = 0;
    // The index of an earlier action that must have been made for this one
    // to be made (the entries name the uninstaller); -1 for none.
    int needs = -1;
};

struct InstallPlan {
    std::vector<PlannedAction> actions;
    // Progress steps due after the last action.
    int stepsAfter = 0;
    // The Variables key of every profile the trusted path is in once the
    // plan is made, changed by it or not.
    std::vector<std::string> trustedProfiles;

    // One line per action: its kind and what it changes ("file-new C:\...").
    std::vector<std::string> Describe() const;
};

}  // namespace tx
