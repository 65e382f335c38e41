// How the setup dialog paints its controls: colours and the version font.
#pragma once

#include <cstdint>

namespace tx {

// A COLORREF: 0x00BBGGRR.
constexpr std::uint32_t Rgb(unsigned r, unsigned g, unsigned b) {
    return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}

constexpr std::uint32_t kBackgroundColour = Rgb(170, 210, 150);  // light green
constexpr std::uint32_t kTextColour = Rgb(0, 0, 0);
constexpr std::uint32_t kVersionTextColour = Rgb(10, 70, 40);    // dark green

struct FontStyle {
    int height;        // cell height, logical units
    int weight;
    unsigned charset;  // ANSI_CHARSET is 0
    const char* face;  // in the ANSI code page
};

// The version line's font.
extern const FontStyle kVersionFont;

// What WM_CTLCOLOR* does for one control (or for the dialog itself).
struct CtlColorPaint {
    std::uint32_t textColour;
    bool transparent;   // false: the text keeps an opaque background
    bool versionFont;   // select kVersionFont
};

CtlColorPaint DecideCtlColor(int controlId);

}  // namespace tx
