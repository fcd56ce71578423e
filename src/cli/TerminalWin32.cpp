#include "cli/Terminal.h"
// The terminal on Windows: a console handle, and the console's window width.

#include <windows.h>
// windows.h first; io.h gives the handle behind a C stream.
#include <io.h>

#include <cstdlib>

namespace zendra::cli {

namespace {

HANDLE HandleOf(std::FILE* stream) {
  return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

UINT g_formerOutputPage = 0;

void RestoreOutputPage() {
  if (g_formerOutputPage != 0) SetConsoleOutputCP(g_formerOutputPage);
}

}  // namespace

void ShowUtf8Text() {
  // The console belongs to the shell as well: its own page comes back at exit.
  const UINT former = GetConsoleOutputCP();
  if (former == 0 || former == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
  g_formerOutputPage = former;
  std::atexit(RestoreOutputPage);
}

bool IsTerminal(std::FILE* stream) {
  // _isatty is true for any character device (NUL too); a console answers
  // GetConsoleMode.
  DWORD mode = 0;
  return GetConsoleMode(HandleOf(stream), &mode) != 0;
}

std::size_t TerminalColumns(std::FILE* stream, std::size_t fallback) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(HandleOf(stream), &info)) return fallback;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? static_cast<std::size_t>(columns) : fallback;
}

}  // namespace zendra::cli
