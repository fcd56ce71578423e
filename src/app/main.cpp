// zendra-manager: the desktop program.

#include <cstdio>
#include <cstring>

#include "app/ManagerApp.h"
#include "app/ManagerCommandLine.h"

int main(int argc, char** argv) {
  // Help needs no display: answer it before the toolkit looks for one.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      const auto line = zendra::ManagerCommandLine::Parse(argc, argv);
      std::fputs(line.message.c_str(),
                 line.action == zendra::ManagerCommandLine::Action::kHelp ? stdout : stderr);
      return line.action == zendra::ManagerCommandLine::Action::kHelp ? 0 : 2;
    }
  }
  zendra::ManagerApp app(argc, argv);
  return app.Run();
}
