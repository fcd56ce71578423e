#include "app/MainDialog.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <span>

#include "app/AboutDialog.h"
#include "app/TrafficConsole.h"
#include "config/ui/ConfigPage.h"
#include "config/ui/DefinitionText.h"
#include "firmware/MenuBootloader.h"
#include "firmware/StopUpdateQuestion.h"
#include "firmware/ui/FirmwarePage.h"
#include "firmware/ui/FirmwareUploadDialog.h"
#include "serial/LineSettingTables.h"
#include "serial/PortDetect.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"
#include "webupdate/DefinitionFolder.h"
#include "webupdate/ui/UpdateServerDialog.h"
#include "webupdate/ui/WebUpdate.h"
#include "widgets/ControlIds.h"
#include "widgets/DialogUnits.h"
#include "widgets/FindControl.h"
#include "widgets/FocusKeeper.h"
#include "widgets/GuiThread.h"
#include "widgets/PortBox.h"
#include "widgets/Resources.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = MainDialogIds;

constexpr int kWidthDlu = 323;
constexpr int kHeightDlu = 484;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// FillSettingBox: the labels in table order, the value as item data, the entry
// with the current value selected.
void FillSettingBox(QComboBox* box, std::span<const SettingEntry> table, int current) {
  for (const auto& entry : table) {
    box->addItem(QString::fromLatin1(entry.label), entry.value);
    if (entry.value == current) box->setCurrentIndex(box->count() - 1);
  }
}

// A text back in its box (remembered, or detected): the entry when listed,
// otherwise as typed (the boxes take typed values; Open judges them as it would have then).
void ShowText(QComboBox* box, const QString& text) {
  const int index = box->findText(text);
  if (index >= 0) {
    box->setCurrentIndex(index);
  } else if (!text.isEmpty()) {
    box->setEditText(text);
  }
}

}  // namespace

MainDialog::MainDialog(Operator& op, const PortList* ports, QWidget* parent)
    : QDialog(parent), op_(op), relay_(op, this), connection_(relay_), tasks_(relay_, this) {
  InitResources();
  setWindowTitle(QStringLiteral("Zendra Manager"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/zendra-manager.png")));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);

  // Linux desktops give a program no system menu of its own: the About item sits
  // in a Help menu, where people look for it, with F1 as its key.
  auto* menuBar = new QMenuBar(this);
  // The traffic console is a window of its own beside this one, hidden at first.
  console_ = new TrafficConsole(connection_, relay_, this);
  auto* view = menuBar->addMenu(QStringLiteral("&View"));
  auto* showConsole = view->addAction(QStringLiteral("&Traffic Console"));
  showConsole->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  showConsole->setShortcutContext(Qt::WindowShortcut);
  addAction(showConsole);
  connect(showConsole, &QAction::triggered, this, &MainDialog::ShowConsole);
  auto* help = menuBar->addMenu(QStringLiteral("&Help"));
  auto* about = help->addAction(QStringLiteral("&About Zendra Manager..."));
  about->setShortcut(QKeySequence(Qt::Key_F1));
  about->setShortcutContext(Qt::WindowShortcut);
  addAction(about);
  connect(about, &QAction::triggered, this, &MainDialog::ShowAbout);
  // Fast flashing: the firmware transfers leave out the 1 ms pause after each
  // block. Off unless the operator turns it on; remembered.
  auto* options = new QMenu(QStringLiteral("&Options"), menuBar);
  fastFlashing_ = options->addAction(QStringLiteral("&Fast Flashing"));
  fastFlashing_->setCheckable(true);
  fastFlashing_->setToolTip(
      QStringLiteral("Send the firmware without the pause after each block (about 8 % faster)"));
  // The update server: which one is in force and why, the stored one, a test.
  updateServer_ = options->addAction(QStringLiteral("Update &Server..."));
  connect(updateServer_, &QAction::triggered, this, [this] {
    UpdateServerDialog dialog(this);
    dialog.exec();
  });
  menuBar->insertMenu(help->menuAction(), options);

  client_ = new QWidget(this);
  auto* layout = new QVBoxLayout(this);
  TemplateBuilder::Compact(layout);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menuBar);
  layout->addWidget(client_);

  // The port box reads the list again each time it opens: the given list as it
  // stands then, or this computer's ports.
  PortBox::Source source;
  if (ports) {
    source = [ports] { return ports->Entries(); };
  } else {
    source = [] {
      PortList found;
      found.EnumeratePorts();
      return found.Entries();
    };
  }
  BuildControls(client_, std::move(source));
  FitToScreen();
  connect(fastFlashing_, &QAction::toggled, this,
          [this](bool on) { firmwarePage_->Update().SetFastTransfer(on); });

  UseForHandshake(connection_, MenuBootloader::Standard());
  connection_.SetHooks({
      // The handshake runs on a task: the reload dialog opens on the window's
      // thread, and the handshake waits for it with its lease of the line.
      .reloadFirmware =
          [this](LineLease& line) {
            // Withdrawn when the window closes before it opened; once open,
            // the handshake waits for it to close.
            CallOnGui(
                this,
                [this, &line] {
                  FirmwareUploadDialog::RunReload(connection_, line, relay_, this,
                                                  fastFlashing_->isChecked());
                },
                line.StopToken());
          },
      .applyModelRule = [this](bool isMc21x) { firmwarePage_->ApplyModelRule(isMc21x); },
  });

  busyDelay_.setSingleShot(true);
  busyDelay_.setInterval(150);
  connect(&busyDelay_, &QTimer::timeout, this, [this] { ApplyLineBusy(true); });
  connection_.Gate().SetObserver(
      [this](bool busy) { PostToGui(this, [this, busy] { OnLineBusy(busy); }); });
  // Recorded from the start, so that what led to a failure is there when the
  // console is opened afterwards.
  connection_.SetLineTap(&console_->Log());
}

MainDialog::~MainDialog() {
  // The tasks and workers use the connection and the relay, which go before the
  // child windows do: from here on every box a worker asks for is answered at
  // once, then the window's task and the pages (which stop and join theirs) go.
  connection_.Gate().SetObserver({});
  relay_.Close();
  tasks_.StopAndJoin();
  connection_.SetLineTap(nullptr);
  delete console_;
  console_ = nullptr;
  delete firmwarePage_;
  firmwarePage_ = nullptr;
  delete configPage_;
  configPage_ = nullptr;
}

void MainDialog::FitToScreen() {
  // The template's size when the screen has room for it, never more than the
  // screen's free area; the layouts' minimum keeps every control usable below it.
  const QSize wanted = DialogUnits(font()).Size(kWidthDlu, kHeightDlu);
  QSize size = wanted.expandedTo(minimumSizeHint());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    // Room for the window's frame and title bar, which the available area does not
    // leave out.
    const QSize room = screen->availableGeometry().size() - QSize(16, 48);
    size = size.boundedTo(room);
  }
  resize(size);
}

void MainDialog::BuildControls(QWidget* client, PortBox::Source ports) {
  // The controls lie on the client area below the menu bar, in the template's
  // order and groups; the template is the window itself, so IDs are looked up from
  // the dialog.
  TemplateBuilder t(client, TemplateIds::kMainDialog, this);
  auto* layout = new QVBoxLayout(client);
  TemplateBuilder::Compact(layout);

  // "Serial Port": a caption over each box, the boxes left to right, then Open.
  auto* serial = t.MakeGroupBox(client, kNoControlId, QStringLiteral("Serial Port"));
  auto* serialGrid = new QGridLayout(serial);
  TemplateBuilder::Compact(serialGrid);
  struct Column {
    int id;
    const char* label;
    int stretch;
  };
  // Port, baud rate, data bits, parity, stop bits, flow control, left to right.
  const Column columns[] = {
      {Id::kPortBox, "Serial line", 4},   {Id::kBaudBox, "Baud rate", 2},
      {Id::kDataBitsBox, "Data bits", 1}, {Id::kParityBox, "Parity", 1},
      {Id::kStopBitsBox, "Stop bits", 1}, {Id::kFlowBox, "Flow control", 2},
  };
  QComboBox* boxes[6] = {};
  for (int i = 0; i < 6; ++i) {
    serialGrid->addWidget(t.MakeStatic(serial, kNoControlId, QString::fromLatin1(columns[i].label)),
                          0, i);
    boxes[i] = i == 0 ? TemplateBuilder::SetUpDropDown(new PortBox(serial), columns[i].id)
                      : t.MakeDropDown(serial, columns[i].id);
    boxes[i]->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    serialGrid->addWidget(boxes[i], 1, i);
    serialGrid->setColumnStretch(i, columns[i].stretch);
  }
  portBox_ = static_cast<PortBox*>(boxes[0]);
  baudBox_ = boxes[1];
  dataBitsBox_ = boxes[2];
  parityBox_ = boxes[3];
  stopBitsBox_ = boxes[4];
  flowBox_ = boxes[5];
  // A device path is read whole: "/dev/ttyUSB10" must not lose its start.
  portBox_->setMinimumContentsLength(14);
  baudBox_->setMinimumContentsLength(6);
  flowBox_->setMinimumContentsLength(8);
  for (QComboBox* box : {dataBitsBox_, parityBox_, stopBitsBox_}) box->setMinimumContentsLength(4);
  openButton_ = t.MakeButton(serial, Id::kOpen, QStringLiteral("Open"));
  serialGrid->addWidget(openButton_, 1, 6);
  // Detect above Open, in the row of the boxes' captions: the window grows no wider.
  detectButton_ = t.MakeButton(serial, Id::kDetect, QStringLiteral("Detect"));
  detectButton_->setToolTip(QStringLiteral("Find the port and baud rate a module answers at"));
  serialGrid->addWidget(detectButton_, 0, 6);
  layout->addWidget(serial);

  // The port box lists the ports found; COM1's port is selected when it is there,
  // otherwise nothing is, and the operator must choose.
  portBox_->SetSource(std::move(ports));
  // The box selects its first entry by itself; only COM1's port may be preselected.
  portBox_->setCurrentIndex(portBox_->findText(Q(SerialPort::ResolvePortName("COM1"))));
  FillSettingBox(baudBox_, kBaudRateTable, kDefaultBaudRate);
  FillSettingBox(parityBox_, kParityTable, kDefaultParity);
  FillSettingBox(stopBitsBox_, kStopBitsTable, kDefaultStopBits);
  FillSettingBox(dataBitsBox_, kDataBitsTable, kDefaultDataBits);
  FillSettingBox(flowBox_, kFlowControlTable, kDefaultFlowControl);

  // "Device Infomation": the four texts with their labels; Reboot and Reload beside.
  auto* device = t.MakeGroupBox(client, kNoControlId, QStringLiteral("Device Infomation"));
  auto* deviceGrid = new QGridLayout(device);
  TemplateBuilder::Compact(deviceGrid);
  const struct {
    const char* label;
    int id;
    QLabel** text;
  } rows[] = {
      {"Product Name : ", Id::kProductName, &productNameText_},
      {"EUI address :", Id::kEuiAddress, &euiAddressText_},
      {"Node Name :", Id::kNodeName, &nodeNameText_},
      {"F/W Rev. :", Id::kFirmwareVersion, &firmwareVersionText_},
  };
  // Two texts a row, in the template's order (product, EUI address; node name,
  // firmware revision), so that the group stays low on a small screen.
  for (int i = 0; i < 4; ++i) {
    const int row = i / 2, column = (i % 2) * 2;
    deviceGrid->addWidget(t.MakeStatic(device, kNoControlId, QString::fromLatin1(rows[i].label)),
                          row, column);
    *rows[i].text = t.MakeStatic(device, rows[i].id, QString());
    (*rows[i].text)->setTextInteractionFlags(Qt::TextSelectableByMouse);
    deviceGrid->addWidget(*rows[i].text, row, column + 1);
  }
  deviceGrid->setColumnStretch(1, 1);
  deviceGrid->setColumnStretch(3, 1);
  rebootButton_ = t.MakeButton(device, Id::kReboot, QStringLiteral("Reboot"), false);
  reloadButton_ = t.MakeButton(device, Id::kReload, QStringLiteral("Reload"), false);
  deviceGrid->addWidget(rebootButton_, 0, 4);
  deviceGrid->addWidget(reloadButton_, 1, 4);
  layout->addWidget(device);

  // The tab control takes what the window grows by.
  tabs_ = new QTabWidget(client);
  TemplateBuilder::Tag(tabs_, Id::kTabs);
  configPage_ = new ConfigPage(connection_, relay_);
  firmwarePage_ = new FirmwarePage(connection_, relay_);
  // The loader's update question downloads the update server's definition files,
  // as a task of the page; they go to the user's folder when the program folder
  // takes none, and the loader looks there too.
  configPage_->Loader().SetUserFolder(DefinitionFolder::UserFolder());
  configPage_->InstallDefinitionUpdates([this](const std::string& folder, std::stop_token stop) {
    WebUpdate::CheckConfigUpdates(folder, relay_, this, std::move(stop));
  });
  // A Save of the node name reads it back: the device texts show it.
  connect(configPage_, &ConfigPage::DeviceInfoChanged, this,
          qOverload<>(&MainDialog::ShowDeviceTexts));
  tabs_->addTab(configPage_, QStringLiteral("  Configuration  "));
  tabs_->addTab(firmwarePage_, QStringLiteral("  Firmware Update  "));
  tabs_->setCurrentIndex(0);
  layout->addWidget(tabs_, 1);

  connect(openButton_, &QPushButton::clicked, this, &MainDialog::OnOpen);
  connect(detectButton_, &QPushButton::clicked, this, &MainDialog::OnDetect);
  connect(rebootButton_, &QPushButton::clicked, this, &MainDialog::OnReboot);
  connect(reloadButton_, &QPushButton::clicked, this, &MainDialog::OnReload);
  // What a local update learned: the device texts and the new definitions.
  connect(firmwarePage_, &FirmwarePage::deviceInformationChanged, this,
          [this](const DeviceInfo& read) { ShowDeviceTexts(read); });
  connect(firmwarePage_, &FirmwarePage::definitionsToReload, this,
          [this](const QString& name) { configPage_->ReloadDefinitions(name.toStdString()); });
}

SerialPortBoxTexts MainDialog::BoxTexts() const {
  auto text = [](const QComboBox* box) { return box->currentText().toStdString(); };
  return {text(portBox_),   text(baudBox_),     text(dataBitsBox_),
          text(parityBox_), text(stopBitsBox_), text(flowBox_)};
}

void MainDialog::OnOpen() { OpenOrClose({}); }

void MainDialog::OpenOrClose(std::function<void()> thenOpen) {
  if (tasks_.Busy() || connection_.Gate().Leased()) return;  // the line is in use
  if (!connection_.IsOpen()) {
    const auto choice = LineSettingsChoice::FromBoxTexts(BoxTexts());
    if (choice.Refused()) {
      op_.ShowMessage(choice.refusal);
      return;
    }
    auto connected = std::make_shared<bool>(false);
    tasks_.Run(
        [this, choice, connected](std::stop_token stop) {
          if (auto line = connection_.TryLease("connect", stop))
            *connected = connection_.Connect(*line, choice.portName, choice.settings);
        },
        [this, connected] { OnConnected(*connected); });
  } else {
    // Closing lets what was written leave the port first, which may take a while
    // on a line held up by flow control: a task, not the window's thread, waits.
    tasks_.Run(
        [this](std::stop_token stop) {
          if (auto line = connection_.TryLease("close", stop)) connection_.Disconnect();
        },
        [this, thenOpen = std::move(thenOpen)] {
          if (connection_.IsOpen()) return;  // the line was taken meanwhile
          openButton_->setText(QStringLiteral("Open"));
          configPage_->LoadParameterFile(LoadMode::kClear, "");
          EnableConnectionControls(false);
          if (thenOpen) thenOpen();
        });
  }
}

void MainDialog::OnConnected(bool connected) {
  if (!connected) return;
  EnableConnectionControls(true);
  openButton_->setText(QStringLiteral("Close"));
  ShowDeviceTexts();
  configPage_->LoadParameterFile(LoadMode::kLoad, connection_.DefinitionFileName());
}

void MainDialog::OnReboot() {
  tasks_.Run([this](std::stop_token stop) {
    if (auto line = connection_.TryLease("reboot", stop)) connection_.Reboot(*line);
  });
}

void MainDialog::OnReload() {
  // Close, then open again with what the boxes show now: the device texts and the
  // definitions are read anew.
  if (tasks_.Busy() || connection_.Gate().Leased()) return;
  if (!connection_.IsOpen()) return OnOpen();
  OpenOrClose([this] { OnOpen(); });
}

std::vector<std::string> MainDialog::DetectPorts() {
  // The ports of the box's list as it reads now (the simulated module's too), and
  // a typed one that the list does not hold.
  portBox_->Refill();
  std::vector<std::string> ports;
  for (int i = 0; i < portBox_->count(); ++i) ports.push_back(portBox_->itemText(i).toStdString());
  const std::string typed =
      SerialPort::ResolvePortName(portBox_->currentText().trimmed().toStdString());
  if (!typed.empty() && std::find(ports.begin(), ports.end(), typed) == ports.end())
    ports.push_back(typed);
  return ports;
}

void MainDialog::OnDetect() {
  // The probe opens the ports itself: not while this window holds one.
  if (connection_.IsOpen() || tasks_.Busy() || connection_.Gate().Leased()) return;
  const std::vector<std::string> ports = DetectPorts();
  auto results = std::make_shared<std::vector<DetectedPort>>();
  tasks_.Run([ports, results](std::stop_token stop) { *results = PortDetect().Run(ports, stop); },
             [this, results] { ApplyDetected(*results); });
}

void MainDialog::ApplyDetected(const std::vector<DetectedPort>& results) {
  const auto found =
      std::find_if(results.begin(), results.end(), [](const DetectedPort& r) { return r.Found(); });
  std::string busy;
  for (const auto& result : results) {
    if (result.state == DetectedPort::State::kBusy)
      busy += (busy.empty() ? "" : "\n") + result.detail;
  }
  if (found == results.end()) {
    // The ports it tried, by name: the operator sees whether his adapter was among them.
    std::string tried;
    for (const auto& result : results) tried += (tried.empty() ? "" : ", ") + result.port;
    const std::string text = "ERROR: No module answered on " + std::to_string(results.size()) +
                             (results.size() == 1 ? " serial port" : " serial ports") +
                             (tried.empty() ? "." : ": " + tried + ".");
    if (busy.empty()) {
      op_.ShowMessage(text);
    } else {
      op_.ShowDetailedMessage(text, busy);
    }
    return;
  }
  portBox_->ShowPath(Q(found->port));
  ShowText(baudBox_, QString::number(found->baudRate));
}

void MainDialog::EnableConnectionControls(bool on) {
  detectButton_->setEnabled(!on && !lineBusy_);
  rebootButton_->setEnabled(on && !lineBusy_);
  reloadButton_->setEnabled(on && !lineBusy_);
  configPage_->SetConnected(on);
  firmwarePage_->SetConnected(on);
  if (on) return;
  connection_.ClearDeviceInfo();
  ShowDeviceTexts();
  configPage_->ClearConnectionTexts();
}

void MainDialog::OnLineBusy(bool busy) {
  if (busy) {
    if (!busyDelay_.isActive() && !lineBusy_) busyDelay_.start();
    return;
  }
  busyDelay_.stop();
  if (lineBusy_) ApplyLineBusy(false);
}

void MainDialog::ApplyLineBusy(bool busy) {
  // The timer may fire just after the line came free: the gate knows.
  if (busy && !connection_.Gate().Leased()) return;
  lineBusy_ = busy;
  if (busy) focusReturn_.Leave(this);
  SetEnabledKeepingFocusSafe(openButton_, !busy, tabs_);
  SetEnabledKeepingFocusSafe(detectButton_, !connection_.IsOpen() && !busy, tabs_);
  SetEnabledKeepingFocusSafe(rebootButton_, connection_.IsOpen() && !busy, tabs_);
  SetEnabledKeepingFocusSafe(reloadButton_, connection_.IsOpen() && !busy, tabs_);
  SetEnabledKeepingFocusSafe(configPage_, !busy, tabs_);
  firmwarePage_->SetLineBusy(busy);
  if (busy) {
    focusReturn_.Parked(this);
  } else {
    focusReturn_.Return(this);
  }
}

void MainDialog::ShowDeviceTexts() { ShowDeviceTexts(connection_.Device()); }

void MainDialog::ShowDeviceTexts(const DeviceInfo& device) {
  productNameText_->setText(Q(device.productName));
  euiAddressText_->setText(Q(device.euiAddress));
  nodeNameText_->setText(DefinitionText(device.nodeName));
  firmwareVersionText_->setText(Q(device.firmwareVersion));
}

void MainDialog::AddAndSelectPort(const std::string& path) {
  portBox_->AddPort(Q(path));
  portBox_->ShowPath(Q(path));
}

namespace {

// The keys of what the window remembers.
constexpr const char* kPortKey = "serial/port";
constexpr const char* kGeometryKey = "window/geometry";
const char* const kLineKeys[] = {"serial/baudRate", "serial/dataBits", "serial/parity",
                                 "serial/stopBits", "serial/flowControl"};
constexpr const char* kFastFlashingKey = "firmware/fastFlashing";

}  // namespace

void MainDialog::RestoreSettings(const QSettings& settings) {
  QComboBox* const lineBoxes[] = {baudBox_, dataBitsBox_, parityBox_, stopBitsBox_, flowBox_};
  for (int i = 0; i < 5; ++i) {
    if (settings.contains(kLineKeys[i]))
      ShowText(lineBoxes[i], settings.value(kLineKeys[i]).toString());
  }
  // A port that has gone since (an adapter not plugged in) is no error: its path
  // waits in the box for the adapter, as it would had it been typed.
  if (settings.contains(kPortKey)) portBox_->ShowPath(settings.value(kPortKey).toString());
  fastFlashing_->setChecked(settings.value(kFastFlashingKey, false).toBool());
  if (settings.contains(kGeometryKey)) {
    restoreGeometry(settings.value(kGeometryKey).toByteArray());
    // A size remembered on a larger screen is brought back within this one.
    const QSize room = screen() ? screen()->availableGeometry().size() - QSize(16, 48) : size();
    resize(size().boundedTo(room).expandedTo(minimumSizeHint()));
  }
}

void MainDialog::SaveSettings(QSettings& settings, bool withPort) const {
  const QComboBox* const lineBoxes[] = {baudBox_, dataBitsBox_, parityBox_, stopBitsBox_, flowBox_};
  for (int i = 0; i < 5; ++i) settings.setValue(kLineKeys[i], lineBoxes[i]->currentText());
  if (withPort) settings.setValue(kPortKey, portBox_->currentText());
  settings.setValue(kFastFlashingKey, fastFlashing_->isChecked());
  settings.setValue(kGeometryKey, saveGeometry());
}

void MainDialog::ShowConsole() {
  console_->show();
  console_->raise();
  console_->activateWindow();
}

void MainDialog::ShowAbout() {
  AboutDialog about(this);
  about.exec();
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const auto mods = event->modifiers() & ~Qt::KeypadModifier;
  // The main window is no dialog to be dismissed: Esc does nothing here (a combo
  // box's open list still closes on it by itself).
  if (key == Qt::Key_Escape) {
    event->accept();
    return;
  }
  const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (enter && mods == Qt::NoModifier) {
    QWidget* focus = focusWidget();
    // A focused button is pressed as usual.
    if (qobject_cast<QPushButton*>(focus)) {
      QDialog::keyPressEvent(event);
      return;
    }
    // Enter in the value box saves the value, as its Save button would; anywhere
    // else it only ends the typing.
    if (focus && configPage_ && configPage_->isAncestorOf(focus) &&
        FindControl(configPage_, ConfigPageIds::kValueEdit) == focus) {
      configPage_->SaveOnEnter();
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainDialog::reject() {
  // Esc and the like end a dialog; this window ends only through its closing box.
}

void MainDialog::accept() {}

void MainDialog::End() { QDialog::done(QDialog::Rejected); }

void MainDialog::closeEvent(QCloseEvent* event) {
  // Closing in the middle of an update stops it half-way: the module is then left
  // without a working firmware. Ask first; No keeps the window and the update.
  if (firmwarePage_ && firmwarePage_->UpdateRunning() &&
      !op_.AskYesNoDefaultNo(firmwarePage_->RemoteUpdateRunning()
                                 ? StopRemoteUpdateAndCloseQuestion()
                                 : StopUpdateAndCloseQuestion())) {
    event->ignore();
    return;
  }
  event->accept();
  End();
}

}  // namespace zendra
