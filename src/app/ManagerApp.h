#pragma once
// The application object: reads the command line, starts the simulated module
// when asked, and runs the main dialog modally. When the dialog ends, the program
// ends.

#include <QApplication>
#include <functional>

namespace zendra {

class MainDialog;
class ManagerCommandLine;

class ManagerApp : public QApplication {
  Q_OBJECT

 public:
  ManagerApp(int& argc, char** argv);

  // The program's run: the exit status.
  int Run();
  // A run driven by another program built on the window (the documentation's
  // screenshot tool): its command line, and `drive` given the main dialog once the
  // dialog's event loop runs. Such a run starts from the default settings and
  // leaves the remembered ones as they were.
  int Run(const ManagerCommandLine& line, const std::function<void(MainDialog&)>& drive);

 private:
  int& argc_;
  char** argv_;
};

}  // namespace zendra
