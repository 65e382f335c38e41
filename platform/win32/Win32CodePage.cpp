#include "platform/win32/Win32CodePage.h"

#include <windows.h>

namespace tx {
unsigned AnsiCodePageId() { return GetACP(); }
}  // namespace tx
