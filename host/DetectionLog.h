// The log lines that say which AutoCAD installations were found.
#pragma once

#include "host/AcadInfo.h"
#include "platform/Log.h"

namespace tx {

// One line per installation detected, in release order:
// "detected AutoCAD <year> key HKLM\<product key> -> <folder>",
// or one line saying that none was.
void LogDetection(ILog& log, const CAcadInfo& info);

}  // namespace tx
