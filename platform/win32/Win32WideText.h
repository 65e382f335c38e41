// UTF-16 conversion and upper-casing by the system's own tables.
#pragma once

#include "platform/WideText.h"

namespace tx {

class Win32WideText final : public IWideText {
public:
    // 0 (CP_ACP): the process's ANSI code page; otherwise that code page.
    explicit Win32WideText(unsigned codePage = 0) : codePage_(codePage) {}

    [[nodiscard]] bool ToWide(const std::string& ansi, WideString* out) const override;
    [[nodiscard]] bool FromWide(const WideString& wide, std::string* out) const override;
    WideString UpperWide(const WideString& text) const override;

private:
    unsigned codePage_;
};

}  // namespace tx
