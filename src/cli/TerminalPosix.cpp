#include "cli/Terminal.h"
// The terminal on a POSIX system: isatty(3) and TIOCGWINSZ.

#include <sys/ioctl.h>
#include <unistd.h>

namespace zendra::cli {

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

// A POSIX terminal takes the bytes as they are; its locale decides how they show.
void ShowUtf8Text() {}

std::size_t TerminalColumns(std::FILE* stream, std::size_t fallback) {
  winsize size{};
  if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return fallback;
}

}  // namespace zendra::cli
