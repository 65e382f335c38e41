#include "ui/SetupPaint.h"

#include "res/resource.h"

namespace tx {

const FontStyle kVersionFont = {12, 600, 0, "宋体"};

CtlColorPaint DecideCtlColor(int controlId) {
    CtlColorPaint paint{kTextColour, true, false};
    // Typed text stays readable on an opaque background.
    if (controlId == IDC_PATH) paint.transparent = false;
    if (controlId == IDC_VERSION) {
        paint.textColour = kVersionTextColour;
        paint.versionFont = true;
    }
    return paint;
}

}  // namespace tx
