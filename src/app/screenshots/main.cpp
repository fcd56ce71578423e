// zendra-screenshots: takes the documentation's pictures of the window. It runs the
// desktop program as zendra-manager does (--simulate and the simulated module's
// options, --update-server) and drives the window to the state a picture shows:
// an Open, a remote address ticked, a parameter picked, a compare, an update half
// way, the traffic console; then it saves the picture and ends. Not installed.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "app/ManagerApp.h"
#include "app/ManagerCommandLine.h"
#include "app/TrafficConsole.h"
#include "config/ui/ConfigPage.h"
#include "config/ui/ImportCompareDialog.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/ImageCheck.h"
#include "firmware/MenuBootloader.h"
#include "firmware/ui/FirmwarePage.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/ModuleTaskRunner.h"

namespace zendra {
namespace {

constexpr const char* kProgram = "zendra-screenshots";

struct Shot {
  std::string file;
  bool afterConnect = false;
  bool screen = false;
  int tab = 0;
  // "Group/Name": the parameter picked in the tree before the picture (after Open).
  std::string select;
  // An address typed into the Remote Configuration box and ticked (after Open),
  // before the pick.
  std::string remote;
  // A text typed into the Configuration page's filter box before the picture.
  std::string filter;
  // A configuration file compared with the device: the picture is of the compare
  // dialog (or of the screen with it), which is then cancelled.
  std::string compare;
  // An image: after an Open at the bootloader's rate the local update of the
  // Firmware Update page runs with it, and the picture is taken once a third of it
  // has gone.
  std::string update;
  // An image: after an Open at the bootloader's rate a Search, the rows of the
  // image's model ticked and the remote update started; the picture once the second
  // of them (or the only one) has passed a third, or once the sequence has ended.
  std::string remoteUpdate;
  // An image: as remoteUpdate, but the run is cancelled once the last ticked row is
  // being prepared, and the picture is of the list after the run has ended (each
  // row's status; with --remote-fault, some failed).
  std::string remoteRun;
  // The traffic console shown beside the window (the picture takes both), with this
  // command typed and sent when not empty.
  bool console = false;
  std::string consoleCommand;

  void AddOptions(CLI::App& app) {
    app.description(
        "Takes a picture of the Zendra Manager window for the documentation, then ends.");
    const std::string group = "Picture";
    app.add_option("--screenshot", file, "The PNG file to write")->required()->group(group);
    app.add_flag("--screenshot-after-connect", afterConnect, "Open the port first")->group(group);
    app.add_flag("--screenshot-screen", screen, "Take the whole screen, not the window alone")
        ->group(group);
    app.add_option("--screenshot-tab", tab, "The page shown: 0 Configuration, 1 Firmware Update")
        ->check(CLI::Range(0, 1))
        ->group(group);
    app.add_option("--screenshot-select", select,
                   "GROUP/NAME: the parameter picked in the tree (after an Open)")
        ->group(group);
    app.add_option("--screenshot-remote", remote,
                   "An address typed into Remote Configuration and ticked, before the pick")
        ->group(group);
    app.add_option("--screenshot-filter", filter, "A text typed into the parameter filter")
        ->group(group);
    app.add_option("--screenshot-compare", compare,
                   "A configuration file compared with the device: the picture is of the "
                   "compare dialog")
        ->group(group);
    app.add_option("--screenshot-update", update,
                   "An image: the local update at the bootloader's rate, taken a third of the way")
        ->group(group);
    app.add_option("--screenshot-remote-update", remoteUpdate,
                   "An image: Search, its model's rows ticked, the remote update; taken when "
                   "the second row passes a third")
        ->group(group);
    app.add_option("--screenshot-remote-run", remoteRun,
                   "An image: as --screenshot-remote-update, cancelled once the last row is "
                   "prepared; taken when the run has ended")
        ->group(group);
    app.add_flag("--screenshot-console", console, "The traffic console beside the window")
        ->group(group);
    app.add_option("--screenshot-console-command", consoleCommand,
                   "A command typed into the console and sent (with --screenshot-console)")
        ->group(group);
  }
};

// The device list's "ModelType" column.
constexpr int kModelTypeColumn = 4;

// Until the window's running module task (if any) and its "done" call are over; the
// window's events go on meanwhile.
void WaitIdle(ModuleTaskRunner& tasks) {
  if (!tasks.Busy()) return;
  QEventLoop loop;
  QObject::connect(&tasks, &ModuleTaskRunner::busyChanged, &loop, [&loop](bool busy) {
    if (!busy) loop.quit();
  });
  QObject::connect(&tasks, &QObject::destroyed, &loop, &QEventLoop::quit);
  loop.exec();
}

// The picture for the documentation: the window as it stands after an optional
// Open, the tick of a remote address and the pick of a parameter, on the chosen
// tab; then the program ends.
void Grab(MainDialog& dialog, const Shot& shot) {
  // Every line recorded so far in the console.
  dialog.Console()->Log().Flush();
  QCoreApplication::sendPostedEvents(dialog.Console());
  // The window alone, the window and its console, or the whole screen with the window on it.
  QScreen* screen = dialog.screen();
  QPixmap picture;
  if (shot.console && screen) {
    const QRect both = dialog.frameGeometry().united(dialog.Console()->frameGeometry());
    picture = screen->grabWindow(0, both.x(), both.y(), both.width(), both.height());
  } else {
    picture = shot.screen && screen ? screen->grabWindow(0) : dialog.grab();
  }
  if (!picture.save(QString::fromStdString(shot.file))) {
    std::fprintf(stderr, "zendra-screenshots: could not write %s\n", shot.file.c_str());
  }
  dialog.End();
}

// Open at the bootloader's rate, and the Firmware Update page shown.
FirmwarePage* OpenForUpdate(MainDialog& dialog) {
  if (auto* baud = FindControl<QComboBox>(&dialog, MainDialogIds::kBaudBox))
    baud->setCurrentIndex(baud->findText(QString::number(MenuBootloader::kBaudRate)));
  dialog.OnOpen();
  WaitIdle(dialog.Tasks());
  dialog.Tabs()->setCurrentIndex(1);
  return dialog.Firmware();
}

// The picture once `ready` says so, looked at every 20 ms.
void GrabWhen(MainDialog& dialog, const Shot& shot, std::function<bool()> ready) {
  auto* poll = new QTimer(&dialog);
  QObject::connect(poll, &QTimer::timeout, &dialog,
                   [&dialog, &shot, poll, ready = std::move(ready)] {
                     if (!ready()) return;
                     poll->stop();
                     Grab(dialog, shot);
                   });
  poll->start(20);
}

// The Firmware Update page in the middle of a local update: the image chosen,
// Update; the picture once the bar has passed a third.
void TakeUpdateScreenshot(MainDialog& dialog, const Shot& shot) {
  FirmwarePage* page = OpenForUpdate(dialog);
  page->SetImagePath(shot.update);
  page->OnLocalUpdate();
  auto* bar = FindControl<QProgressBar>(page, FirmwarePageIds::kLocalProgress);
  GrabWhen(dialog, shot, [bar] { return bar && bar->value() >= 34; });
}

// Search, the rows of the image's model ticked, the remote Update pressed: the
// rows ticked.
std::vector<int> StartRemoteUpdate(FirmwarePage* page, const std::string& image) {
  page->SetImagePath(image);
  page->ScanNetwork();
  WaitIdle(page->Tasks());
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
void TakeRemoteRunScreenshot(MainDialog& dialog, const Shot& shot) {
  FirmwarePage* page = OpenForUpdate(dialog);
  const std::vector<int> ticked = StartRemoteUpdate(page, shot.remoteRun);
  const int last = ticked.empty() ? -1 : ticked.back();
  auto cancelled = std::make_shared<bool>(false);
  GrabWhen(dialog, shot, [page, last, cancelled] {
    if (!*cancelled && page->DeviceList()->RowStatus(last) == QStringLiteral("preparing")) {
      *cancelled = true;
      page->Update().CancelUpdate();
    }
    return (*cancelled || last < 0) && RemoteRunEnded(page);
  });
}

// The Firmware Update page in the middle of a remote update: Search, the rows of
// the image's model ticked, the remote Update; the picture once the second ticked
// row (the first done) has passed a third.
void TakeRemoteUpdateScreenshot(MainDialog& dialog, const Shot& shot) {
  FirmwarePage* page = OpenForUpdate(dialog);
  const std::vector<int> ticked = StartRemoteUpdate(page, shot.remoteUpdate);
  DeviceListCtrl* list = page->DeviceList();
  const int watched = ticked.size() > 1 ? ticked[1] : ticked.empty() ? -1 : ticked[0];
  GrabWhen(dialog, shot, [page, list, watched] {
    return RemoteRunEnded(page) || list->RowProgress(watched).value_or(0) >= 34;
  });
}

void TakeScreenshot(MainDialog& dialog, const Shot& shot) {
  if (!shot.update.empty()) {
    TakeUpdateScreenshot(dialog, shot);
    return;
  }
  if (!shot.remoteUpdate.empty()) {
    TakeRemoteUpdateScreenshot(dialog, shot);
    return;
  }
  if (!shot.remoteRun.empty()) {
    TakeRemoteRunScreenshot(dialog, shot);
    return;
  }
  if (shot.afterConnect) {
    dialog.OnOpen();
    WaitIdle(dialog.Tasks());
  }
  dialog.Tabs()->setCurrentIndex(shot.tab);
  if (!shot.remote.empty()) {
    // As the operator does it: the address typed, then the box ticked.
    ConfigPage* page = dialog.Config();
    if (auto* address = FindControl<QLineEdit>(page, ConfigPageIds::kRemoteAddress))
      address->setText(QString::fromStdString(shot.remote));
    if (auto* box = FindControl<QCheckBox>(page, ConfigPageIds::kRemoteSetting)) box->click();
    WaitIdle(page->Tasks());
  }
  if (!shot.select.empty() && !dialog.Config()->SelectTreeItem(shot.select)) {
    std::fprintf(stderr, "zendra-screenshots: no parameter %s in the tree\n", shot.select.c_str());
  }
  WaitIdle(dialog.Config()->Tasks());
  if (!shot.filter.empty())
    dialog.Config()->FilterBox()->setText(QString::fromStdString(shot.filter));
  if (!shot.compare.empty()) {
    // The compare dialog comes up when the device has been read; it is taken and
    // cancelled, and the program ends.
    auto* watch = new QTimer(&dialog);
    QObject::connect(
        watch, &QTimer::timeout, &dialog,
        [watch, &dialog, file = shot.file, wholeScreen = shot.screen] {
          auto* compare = qobject_cast<ImportCompareDialog*>(QApplication::activeModalWidget());
          if (!compare) return;
          watch->stop();
          QTimer::singleShot(300, compare, [compare, &dialog, file, wholeScreen] {
            QScreen* screen = compare->screen();
            const QPixmap picture = wholeScreen && screen ? screen->grabWindow(0) : compare->grab();
            if (!picture.save(QString::fromStdString(file)))
              std::fprintf(stderr, "zendra-screenshots: could not write %s\n", file.c_str());
            compare->reject();
            QTimer::singleShot(0, &dialog, [&dialog] { dialog.End(); });
          });
        });
    watch->start(20);
    dialog.Config()->CompareFile(shot.compare);
    return;
  }
  if (shot.console) {
    // The window at the screen's left, the console beside it at the window's height.
    TrafficConsole* console = dialog.Console();
    const QRect room = dialog.screen() ? dialog.screen()->availableGeometry() : dialog.geometry();
    dialog.move(room.topLeft());
    dialog.ShowConsole();
    console->resize(console->width(), dialog.frameGeometry().height());
    console->move(dialog.frameGeometry().right() + 8, dialog.frameGeometry().top());
    if (!shot.consoleCommand.empty()) {
      console->findChild<QLineEdit*>(QStringLiteral("commandEdit"))
          ->setText(QString::fromStdString(shot.consoleCommand));
      console->SendCommand();
      WaitIdle(console->Tasks());
    }
  }
  QTimer::singleShot(300, &dialog, [&dialog, &shot] { Grab(dialog, shot); });
}

}  // namespace
}  // namespace zendra

int main(int argc, char** argv) {
  zendra::Shot shot;
  const auto options = [&shot](CLI::App& app) { shot.AddOptions(app); };
  // Help needs no display: answer it before the toolkit looks for one.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      const auto line = zendra::ManagerCommandLine::Parse(argc, argv, zendra::kProgram, options);
      const bool help = line.action == zendra::ManagerCommandLine::Action::kHelp;
      std::fputs(line.message.c_str(), help ? stdout : stderr);
      return help ? 0 : 2;
    }
  }
  zendra::ManagerApp app(argc, argv);
  const auto line = zendra::ManagerCommandLine::Parse(argc, argv, zendra::kProgram, options);
  return app.Run(line,
                 [&shot](zendra::MainDialog& dialog) { zendra::TakeScreenshot(dialog, shot); });
}
