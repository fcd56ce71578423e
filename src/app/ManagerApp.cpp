#include "app/ManagerApp.h"

#include <QCheckBox>
#include <QIcon>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "ModuleSimulator.h"
#include "app/MainDialog.h"
#include "app/ManagerCommandLine.h"
#include "app/TrafficConsole.h"
#include "config/ProgramFolder.h"
#include "config/ui/ConfigPage.h"
#include "webupdate/ui/UpdateServerSetting.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/QtOperator.h"
#include "widgets/Resources.h"
#include "widgets/Settings.h"

namespace zendra {

namespace {

// The picture for the documentation: the window as it stands after an optional
// Open, the tick of a remote address and the pick of a parameter, on the chosen
// tab; then the program ends.
void TakeScreenshot(MainDialog& dialog, const ManagerCommandLine& line) {
  if (line.screenshotAfterConnect) {
    dialog.OnOpen();
    dialog.Tasks().WaitIdle();
  }
  dialog.Tabs()->setCurrentIndex(line.screenshotTab);
  if (!line.screenshotRemote.empty()) {
    // As the operator does it: the address typed, then the box ticked.
    ConfigPage* page = dialog.Config();
    if (auto* address = FindControl<QLineEdit>(page, ConfigPageIds::kRemoteAddress))
      address->setText(QString::fromStdString(line.screenshotRemote));
    if (auto* box = FindControl<QCheckBox>(page, ConfigPageIds::kRemoteSetting)) box->click();
    page->Tasks().WaitIdle();
  }
  if (!line.screenshotSelect.empty() && !dialog.Config()->SelectTreeItem(line.screenshotSelect)) {
    std::fprintf(stderr, "zendra-manager: no parameter %s in the tree\n",
                 line.screenshotSelect.c_str());
  }
  dialog.Config()->Tasks().WaitIdle();
  if (line.screenshotConsole) {
    // The window at the screen's left, the console beside it at the window's height.
    TrafficConsole* console = dialog.Console();
    const QRect room = dialog.screen() ? dialog.screen()->availableGeometry() : dialog.geometry();
    dialog.move(room.topLeft());
    dialog.ShowConsole();
    console->resize(console->width(), dialog.frameGeometry().height());
    console->move(dialog.frameGeometry().right() + 8, dialog.frameGeometry().top());
    if (!line.screenshotConsoleCommand.empty()) {
      console->findChild<QLineEdit*>(QStringLiteral("commandEdit"))
          ->setText(QString::fromStdString(line.screenshotConsoleCommand));
      console->SendCommand();
      console->Tasks().WaitIdle();
    }
  }
  QTimer::singleShot(300, &dialog, [&dialog, file = line.screenshotFile,
                                    wholeScreen = line.screenshotScreen,
                                    withConsole = line.screenshotConsole] {
    // Every line recorded so far in the console.
    dialog.Console()->Log().Flush();
    QCoreApplication::sendPostedEvents(dialog.Console());
    // The window alone, the window and its console, or the whole screen.
    QScreen* screen = dialog.screen();
    QPixmap picture;
    if (withConsole && screen) {
      const QRect both = dialog.frameGeometry().united(dialog.Console()->frameGeometry());
      picture = screen->grabWindow(0, both.x(), both.y(), both.width(), both.height());
    } else {
      picture = wholeScreen && screen ? screen->grabWindow(0) : dialog.grab();
    }
    if (!picture.save(QString::fromStdString(file))) {
      std::fprintf(stderr, "zendra-manager: could not write %s\n", file.c_str());
    }
    dialog.End();
  });
}

}  // namespace

ManagerApp::ManagerApp(int& argc, char** argv)
    : QApplication(argc, argv), argc_(argc), argv_(argv) {
  // QSettings stores nothing without an organisation name.
  setOrganizationName(QStringLiteral("Zendra"));
  setApplicationName(QStringLiteral("Zendra Manager"));
  setApplicationVersion(QStringLiteral(ZENDRA_VERSION));
  InitResources();
  setWindowIcon(QIcon(QStringLiteral(":/icons/zendra-manager.png")));
}

int ManagerApp::Run() {
  const auto line = ManagerCommandLine::Parse(argc_, argv_);
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

  // Declared before the dialog, so that the port is closed before the module goes.
  std::unique_ptr<sim::ModuleSimulator> simulator;
  if (line.simulate) {
    simulator = std::make_unique<sim::ModuleSimulator>(
        line.SimulatorOptions(ProgramFolder::GetProgramFolder()));
    if (!simulator->Start()) {
      std::fputs("zendra-manager: the simulated module could not be started\n", stderr);
      return 1;
    }
  }

  QtOperator op;
  MainDialog dialog(op);
  op.SetParentWindow(&dialog);
  // The pictures for the documentation start from the defaults, whatever this
  // user's settings are, and leave them as they were.
  const bool remember = line.screenshotFile.empty();
  op.RememberFolders(remember);
  if (remember) dialog.RestoreSettings(*OpenSettings());
  if (simulator) dialog.AddAndSelectPort(simulator->PortPath());
  if (!line.screenshotFile.empty()) {
    QTimer::singleShot(0, &dialog, [&dialog, &line] { TakeScreenshot(dialog, line); });
  }
  dialog.exec();
  // The simulated module's port is gone with it: the real one stays remembered.
  if (remember) dialog.SaveSettings(*OpenSettings(), !simulator);
  return 0;
}

}  // namespace zendra
