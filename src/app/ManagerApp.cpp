#include "app/ManagerApp.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QIcon>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "app/ManagerCommandLine.h"
#include "app/TrafficConsole.h"
#include "config/ProgramFolder.h"
#include "config/ui/ConfigPage.h"
#include "config/ui/ImportCompareDialog.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/ImageCheck.h"
#include "firmware/MenuBootloader.h"
#include "firmware/ui/FirmwarePage.h"
#include "webupdate/ui/UpdateServerSetting.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/QtOperator.h"
#include "widgets/Resources.h"
#include "widgets/Settings.h"

namespace zendra {

namespace {

// The device list's "ModelType" column.
constexpr int kModelTypeColumn = 4;

// The picture for the documentation: the window as it stands after an optional
// Open, the tick of a remote address and the pick of a parameter, on the chosen
// tab; then the program ends.
void Grab(MainDialog& dialog, const ManagerCommandLine& line) {
  // Every line recorded so far in the console.
  dialog.Console()->Log().Flush();
  QCoreApplication::sendPostedEvents(dialog.Console());
  // The window alone, the window and its console, or the whole screen with the window on it.
  QScreen* screen = dialog.screen();
  QPixmap picture;
  if (line.screenshotConsole && screen) {
    const QRect both = dialog.frameGeometry().united(dialog.Console()->frameGeometry());
    picture = screen->grabWindow(0, both.x(), both.y(), both.width(), both.height());
  } else {
    picture = line.screenshotScreen && screen ? screen->grabWindow(0) : dialog.grab();
  }
  if (!picture.save(QString::fromStdString(line.screenshotFile))) {
    std::fprintf(stderr, "zendra-manager: could not write %s\n", line.screenshotFile.c_str());
  }
  dialog.End();
}

// Open at the bootloader's rate, and the Firmware Update page shown.
FirmwarePage* OpenForUpdate(MainDialog& dialog) {
  if (auto* baud = FindControl<QComboBox>(&dialog, MainDialogIds::kBaudBox))
    baud->setCurrentIndex(baud->findText(QString::number(MenuBootloader::kBaudRate)));
  dialog.OnOpen();
  dialog.Tasks().WaitIdle();
  dialog.Tabs()->setCurrentIndex(1);
  return dialog.Firmware();
}

// The picture once `ready` says so, looked at every 20 ms.
void GrabWhen(MainDialog& dialog, const ManagerCommandLine& line, std::function<bool()> ready) {
  auto* poll = new QTimer(&dialog);
  QObject::connect(poll, &QTimer::timeout, &dialog,
                   [&dialog, &line, poll, ready = std::move(ready)] {
                     if (!ready()) return;
                     poll->stop();
                     Grab(dialog, line);
                   });
  poll->start(20);
}

// The Firmware Update page in the middle of a local update: the image chosen,
// Update; the picture once the bar has passed a third.
void TakeUpdateScreenshot(MainDialog& dialog, const ManagerCommandLine& line) {
  FirmwarePage* page = OpenForUpdate(dialog);
  page->SetImagePath(line.screenshotUpdate);
  page->OnLocalUpdate();
  auto* bar = FindControl<QProgressBar>(page, FirmwarePageIds::kLocalProgress);
  GrabWhen(dialog, line, [bar] { return bar && bar->value() >= 34; });
}

// The Firmware Update page in the middle of a remote update: Search, the rows of
// the image's model ticked, the remote Update; the picture once the second ticked
// row (the first done) has passed a third.
// Search, the rows of the image's model ticked, the remote Update pressed: the
// rows ticked.
std::vector<int> StartRemoteUpdate(FirmwarePage* page, const std::string& image) {
  page->SetImagePath(image);
  page->ScanNetwork();
  page->Tasks().WaitIdle();
  std::string model;
  ReadImageModel(image, model);
  DeviceListCtrl* list = page->DeviceList();
  std::vector<int> ticked;
  for (int row = 0; row < list->rowCount(); ++row) {
    const QTableWidgetItem* type = list->item(row, kModelTypeColumn);
    if (!type || type->text().toStdString() != model) continue;
    list->item(row, 0)->setCheckState(Qt::Checked);
    ticked.push_back(row);
  }
  page->OnRemoteUpdate();
  return ticked;
}

bool RemoteRunEnded(FirmwarePage* page) {
  return !page->UpdateRunning() && !page->Tasks().Busy() && !page->UpdateTimer().isActive();
}

// The list after a mixed remote run: the run is cancelled (as the remote Cancel's
// Yes does) once the last ticked row is being prepared; the picture once it has ended.
void TakeRemoteRunScreenshot(MainDialog& dialog, const ManagerCommandLine& line) {
  FirmwarePage* page = OpenForUpdate(dialog);
  const std::vector<int> ticked = StartRemoteUpdate(page, line.screenshotRemoteRun);
  const int last = ticked.empty() ? -1 : ticked.back();
  auto cancelled = std::make_shared<bool>(false);
  GrabWhen(dialog, line, [page, last, cancelled] {
    if (!*cancelled && page->DeviceList()->RowStatus(last) == QStringLiteral("preparing")) {
      *cancelled = true;
      page->Update().CancelUpdate();
    }
    return (*cancelled || last < 0) && RemoteRunEnded(page);
  });
}

void TakeRemoteUpdateScreenshot(MainDialog& dialog, const ManagerCommandLine& line) {
  FirmwarePage* page = OpenForUpdate(dialog);
  const std::vector<int> ticked = StartRemoteUpdate(page, line.screenshotRemoteUpdate);
  DeviceListCtrl* list = page->DeviceList();
  const int watched = ticked.size() > 1 ? ticked[1] : ticked.empty() ? -1 : ticked[0];
  GrabWhen(dialog, line, [page, list, watched] {
    return RemoteRunEnded(page) || list->RowProgress(watched).value_or(0) >= 34;
  });
}

void TakeScreenshot(MainDialog& dialog, const ManagerCommandLine& line) {
  if (!line.screenshotUpdate.empty()) {
    TakeUpdateScreenshot(dialog, line);
    return;
  }
  if (!line.screenshotRemoteUpdate.empty()) {
    TakeRemoteUpdateScreenshot(dialog, line);
    return;
  }
  if (!line.screenshotRemoteRun.empty()) {
    TakeRemoteRunScreenshot(dialog, line);
    return;
  }
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
  if (!line.screenshotFilter.empty())
    dialog.Config()->FilterBox()->setText(QString::fromStdString(line.screenshotFilter));
  if (!line.screenshotCompare.empty()) {
    // The compare dialog comes up when the device has been read; it is taken and
    // cancelled, and the program ends.
    auto* watch = new QTimer(&dialog);
    QObject::connect(
        watch, &QTimer::timeout, &dialog,
        [watch, &dialog, file = line.screenshotFile, wholeScreen = line.screenshotScreen] {
          auto* compare = qobject_cast<ImportCompareDialog*>(QApplication::activeModalWidget());
          if (!compare) return;
          watch->stop();
          QTimer::singleShot(300, compare, [compare, &dialog, file, wholeScreen] {
            QScreen* screen = compare->screen();
            const QPixmap picture = wholeScreen && screen ? screen->grabWindow(0) : compare->grab();
            if (!picture.save(QString::fromStdString(file)))
              std::fprintf(stderr, "zendra-manager: could not write %s\n", file.c_str());
            compare->reject();
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.End(); });
          });
        });
    watch->start(20);
    dialog.Config()->CompareFile(line.screenshotCompare);
    return;
  }
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
  QTimer::singleShot(300, &dialog, [&dialog, &line] { Grab(dialog, line); });
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
  // The pictures for the documentation start from the defaults, whatever this
  // user's settings are, and leave them as they were.
  const bool remember = line.screenshotFile.empty();
  op.RememberFolders(remember);
  if (remember) dialog.RestoreSettings(*OpenSettings());
  if (line.simulate) dialog.AddAndSelectPort(line.Simulator().PortPath());
  if (!line.screenshotFile.empty()) {
    QTimer::singleShot(0, &dialog, [&dialog, &line] { TakeScreenshot(dialog, line); });
  }
  dialog.exec();
  // The simulated module's port is gone with it: the real one stays remembered.
  if (remember) dialog.SaveSettings(*OpenSettings(), !line.simulate);
  return 0;
}

}  // namespace zendra
