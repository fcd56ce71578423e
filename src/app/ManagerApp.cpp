#include "app/ManagerApp.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <cstdio>

#include "app/MainDialog.h"
#include "app/ManagerCommandLine.h"
#include "config/ProgramFolder.h"
#include "webupdate/ui/UpdateServerSetting.h"
#include "widgets/QtOperator.h"
#include "widgets/Resources.h"
#include "widgets/Settings.h"

namespace zendra {

ManagerApp::ManagerApp(int& argc, char** argv)
    : QApplication(argc, argv), argc_(argc), argv_(argv) {
  // QSettings stores nothing without an organisation name.
  setOrganizationName(QStringLiteral("Zendra"));
  setApplicationName(QStringLiteral("Zendra Manager"));
  setApplicationVersion(QStringLiteral(ZENDRA_VERSION));
  InitResources();
  setWindowIcon(QIcon(QStringLiteral(":/icons/zendra-manager.png")));
}

int ManagerApp::Run() { return Run(ManagerCommandLine::Parse(argc_, argv_), {}); }

int ManagerApp::Run(const ManagerCommandLine& line, const std::function<void(MainDialog&)>& drive) {
  if (line.action == ManagerCommandLine::Action::kHelp) {
    std::fputs(line.message.c_str(), stdout);
    return 0;
  }
  if (line.action == ManagerCommandLine::Action::kError) {
    std::fputs(line.message.c_str(), stderr);
    return 2;
  }

  if (line.updateServer) {
    // The operator's choice of server holds for this run and is remembered.
    UpdateServerSetting::SetForThisRun(line.updateServer);
    UpdateServerSetting::Store(*line.updateServer);
  }

  // The simulated module belongs to `line`, made before the dialog: the port is
  // closed before the module goes.
  if (line.simulate) {
    std::string error;
    if (!line.Simulator().Start(ProgramFolder::GetDefinitionFolder(), error)) {
      std::fputs(("zendra-manager: " + error + "\n").c_str(), stderr);
      return 1;
    }
  }

  QtOperator op;
  MainDialog dialog(op);
  op.SetParentWindow(&dialog);
  // A driven run (the documentation's pictures) starts from the defaults, whatever
  // this user's settings are, and leaves them as they were.
  const bool remember = !drive;
  op.RememberFolders(remember);
  if (remember) dialog.RestoreSettings(*OpenSettings());
  if (line.simulate) dialog.AddAndSelectPort(line.Simulator().PortPath());
  if (drive) QTimer::singleShot(0, &dialog, [&dialog, &drive] { drive(dialog); });
  dialog.exec();
  // The simulated module's port is gone with it: the real one stays remembered.
  if (remember) dialog.SaveSettings(*OpenSettings(), !line.simulate);
  return 0;
}

}  // namespace zendra
