#pragma once

namespace tx {
// The process's ANSI code page (GetACP).
unsigned AnsiCodePageId();
}  // namespace tx
