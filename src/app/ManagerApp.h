#pragma once
// The application object: reads the command line, starts the simulated module
// when asked, and runs the main dialog modally. When the dialog ends, the program
// ends.

#include <QApplication>

namespace zendra {

class ManagerApp : public QApplication {
  Q_OBJECT

 public:
  ManagerApp(int& argc, char** argv);

  // The program's run: the exit status.
  int Run();

 private:
  int& argc_;
  char** argv_;
};

}  // namespace zendra
