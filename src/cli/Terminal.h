#pragma once
// What the command line asks of the terminal it runs in. TerminalPosix.cpp and
// TerminalWin32.cpp answer; the commands see only these names.

#include <cstddef>
#include <cstdio>

namespace zendra::cli {

// Whether `stream` (stdin, stdout, stderr) is a terminal a person reads or types at.
bool IsTerminal(std::FILE* stream);

// Has the terminal show the program's text, which is UTF-8, as such for as long as
// the program runs (a Windows console shows its own code page otherwise).
void ShowUtf8Text();

// Columns of the terminal on `stream`; `fallback` when it does not say.
std::size_t TerminalColumns(std::FILE* stream, std::size_t fallback);

}  // namespace zendra::cli
