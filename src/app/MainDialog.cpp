#include "app/MainDialog.h"

#include <QAbstractSpinBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>
#include <memory>
#include <span>

#include "app/AboutDialog.h"
#include "config/ui/ConfigPage.h"
#include "firmware/ui/FirmwarePage.h"
#include "firmware/ui/FirmwareUploadDialog.h"
#include "serial/LineSettingTables.h"
#include "serial/PortList.h"
#include "serial/SerialPort.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/FocusKeeper.h"
#include "widgets/GuiCall.h"
#include "widgets/GuiThread.h"
#include "widgets/Resources.h"
#include "widgets/TemplateBuilder.h"
#include "webupdate/ui/WebUpdate.h"

namespace zendra {

namespace {

using Id = MainDialogIds;

constexpr int kWidthDlu = 323;
constexpr int kHeightDlu = 484;

QString Q(const std::string& text) { return QString::fromStdString(text); }

constexpr const char* kStopUpdateQuestion =
    "A firmware update is running. If it is stopped now, the module will need a firmware "
    "reload before it works again.\r\n\r\nStop the update and close Zendra Manager?";

// FillSettingBox: the labels in table order, the value as item data, the entry
// with the current value selected.
void FillSettingBox(QComboBox* box, std::span<const SettingEntry> table, int current) {
  for (const auto& entry : table) {
    box->addItem(QString::fromLatin1(entry.label), entry.value);
    if (entry.value == current) box->setCurrentIndex(box->count() - 1);
  }
}

}  // namespace

MainDialog::MainDialog(Operator& op, const PortList* ports, QWidget* parent)
    : QDialog(parent),
      op_(op),
      relay_(
          op, [this](std::function<void()> call) { PostToGui(this, std::move(call)); },
          [this] { return QThread::currentThread() == thread(); }),
      connection_(relay_),
      tasks_(relay_, this) {
  InitResources();
  setWindowTitle(QStringLiteral("Zendra Manager"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/zendra-manager.png")));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

  // Linux desktops give a program no system menu of its own: the About item sits
  // in a Help menu, where people look for it, with F1 as its key.
  auto* menuBar = new QMenuBar(this);
  auto* help = menuBar->addMenu(QStringLiteral("&Help"));
  auto* about = help->addAction(QStringLiteral("&About Zendra Manager..."));
  about->setShortcut(QKeySequence(Qt::Key_F1));
  about->setShortcutContext(Qt::WindowShortcut);
  addAction(about);
  connect(about, &QAction::triggered, this, &MainDialog::ShowAbout);

  client_ = new QWidget(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menuBar);
  layout->addWidget(client_);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  PortList found;
  if (!ports) {
    found.EnumeratePorts();
    ports = &found;
  }
  BuildControls(client_, *ports);

  connection_.SetHooks({
      // The handshake runs on a task: the reload dialog opens on the window's
      // thread, and the handshake waits for it with its lease of the line.
      .reloadFirmware =
          [this](LineLease& line) {
            CallOnGuiAndWait(this, [this, &line] {
              FirmwareUploadDialog::RunReload(connection_, line, relay_, this);
            });
          },
      .applyModelRule = [this](bool isMc21x) { firmwarePage_->ApplyModelRule(isMc21x); },
  });

  busyDelay_.setSingleShot(true);
  busyDelay_.setInterval(150);
  connect(&busyDelay_, &QTimer::timeout, this, [this] { ApplyLineBusy(true); });
  connection_.Gate().SetObserver([this](bool busy) {
    PostToGui(this, [this, busy] { OnLineBusy(busy); });
  });
}

MainDialog::~MainDialog() {
  // The tasks and workers use the connection and the relay, which go before the
  // child windows do: from here on every box a worker asks for is answered at
  // once, then the window's task and the pages (which stop and join theirs) go.
  connection_.Gate().SetObserver({});
  relay_.Close();
  tasks_.StopAndJoin();
  delete firmwarePage_;
  firmwarePage_ = nullptr;
  delete configPage_;
  configPage_ = nullptr;
}

void MainDialog::BuildControls(QWidget* client, const PortList& ports) {
  // The controls lie on the client area below the menu bar; the template is the
  // window itself, so IDs are looked up from the dialog.
  TemplateBuilder t(client, TemplateIds::kMainDialog, this);
  client->setFixedSize(t.Units().Size(kWidthDlu, kHeightDlu));

  t.GroupBox(kNoControlId, QStringLiteral("Serial Port"), 7, 4, 309, 42);
  struct Column {
    int id;
    const char* label;
    int x;
    int width;
  };
  // Port, baud rate, data bits, parity, stop bits, flow control, left to right.
  const Column columns[] = {
      {Id::kPortBox, "Serial line", 13, 58},    {Id::kBaudBox, "Baud rate", 74, 44},
      {Id::kDataBitsBox, "Data bits", 121, 32}, {Id::kParityBox, "Parity", 156, 34},
      {Id::kStopBitsBox, "Stop bits", 193, 32}, {Id::kFlowBox, "Flow control", 228, 43},
  };
  QComboBox* boxes[6] = {};
  for (int i = 0; i < 6; ++i) {
    t.Static(kNoControlId, QString::fromLatin1(columns[i].label), columns[i].x, 15,
             columns[i].width, 9);
    boxes[i] = t.DropDown(columns[i].id, columns[i].x, 25, columns[i].width, 12);
  }
  portBox_ = boxes[0];
  baudBox_ = boxes[1];
  dataBitsBox_ = boxes[2];
  parityBox_ = boxes[3];
  stopBitsBox_ = boxes[4];
  flowBox_ = boxes[5];
  openButton_ = t.Button(Id::kOpen, QStringLiteral("Open"), 274, 24, 36, 14);

  // The port box lists the ports found; COM1's port is selected when it is there,
  // otherwise nothing is, and the operator must choose.
  const std::string defaultPort = SerialPort::ResolvePortName("COM1");
  int selected = -1;
  for (const auto& entry : ports.Entries()) {
    portBox_->addItem(Q(entry.displayText), Q(entry.name));
    if (entry.name == defaultPort) selected = portBox_->count() - 1;
  }
  // The box selects its first entry by itself; only COM1's port may be preselected.
  portBox_->setCurrentIndex(selected);
  FillSettingBox(baudBox_, kBaudRateTable, kDefaultBaudRate);
  FillSettingBox(parityBox_, kParityTable, kDefaultParity);
  FillSettingBox(stopBitsBox_, kStopBitsTable, kDefaultStopBits);
  FillSettingBox(dataBitsBox_, kDataBitsTable, kDefaultDataBits);
  FillSettingBox(flowBox_, kFlowControlTable, kDefaultFlowControl);

  t.GroupBox(kNoControlId, QStringLiteral("Device Infomation"), 7, 50, 309, 76);
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
  for (int i = 0; i < 4; ++i) {
    const int y = 63 + i * 15;
    t.Static(kNoControlId, QString::fromLatin1(rows[i].label), 15, y, 56, 9);
    *rows[i].text = t.Static(rows[i].id, QString(), 73, y, 170, 9);
    (*rows[i].text)->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  rebootButton_ = t.Button(Id::kReboot, QStringLiteral("Reboot"), 253, 62, 55, 14, false);
  reloadButton_ = t.Button(Id::kReload, QStringLiteral("Reload"), 253, 80, 55, 14, false);

  tabs_ = new QTabWidget(client);
  t.Place(tabs_, Id::kTabs, 7, 132, 309, 345);
  configPage_ = new ConfigPage(connection_, relay_);
  firmwarePage_ = new FirmwarePage(connection_, relay_);
  // The loader's update question downloads the update server's definition files.
  WebUpdate::InstallConfigUpdates(configPage_->Loader(), relay_, this);
  tabs_->addTab(configPage_, QStringLiteral("  Configuration  "));
  tabs_->addTab(firmwarePage_, QStringLiteral("  Firmware Update  "));
  tabs_->setCurrentIndex(0);

  connect(openButton_, &QPushButton::clicked, this, &MainDialog::OnOpen);
  connect(rebootButton_, &QPushButton::clicked, this, &MainDialog::OnReboot);
  connect(reloadButton_, &QPushButton::clicked, this, &MainDialog::OnReload);
  // What a local update learned: the device texts and the new definitions.
  connect(firmwarePage_, &FirmwarePage::deviceInformationChanged, this,
          [this](const DeviceInfo& device) { ShowDeviceTexts(device); });
  connect(firmwarePage_, &FirmwarePage::definitionsToReload, this,
          [this](const QString& name) { configPage_->ReloadDefinitions(name.toStdString()); });
}

SerialPortBoxTexts MainDialog::BoxTexts() const {
  auto text = [](const QComboBox* box) { return box->currentText().toStdString(); };
  return {text(portBox_),   text(baudBox_),     text(dataBitsBox_),
          text(parityBox_), text(stopBitsBox_), text(flowBox_)};
}

void MainDialog::OnOpen() {
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
    WaitCursor wait(op_);
    connection_.Disconnect();
    openButton_->setText(QStringLiteral("Open"));
    configPage_->LoadParameterFile(LoadMode::kClear, "");
    EnableConnectionControls(false);
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
  OnOpen();
  OnOpen();
}

void MainDialog::EnableConnectionControls(bool on) {
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
  SetEnabledKeepingFocusSafe(openButton_, !busy, tabs_);
  SetEnabledKeepingFocusSafe(rebootButton_, connection_.IsOpen() && !busy, tabs_);
  SetEnabledKeepingFocusSafe(reloadButton_, connection_.IsOpen() && !busy, tabs_);
  SetEnabledKeepingFocusSafe(configPage_, !busy, tabs_);
  firmwarePage_->SetLineBusy(busy);
}

void MainDialog::ShowDeviceTexts() { ShowDeviceTexts(connection_.Device()); }

void MainDialog::ShowDeviceTexts(const DeviceInfo& device) {
  productNameText_->setText(Q(device.productName));
  euiAddressText_->setText(Q(device.euiAddress));
  nodeNameText_->setText(Q(device.nodeName));
  firmwareVersionText_->setText(Q(device.firmwareVersion));
}

void MainDialog::AddAndSelectPort(const std::string& path) {
  const QString text = Q(path);
  int index = portBox_->findText(text);
  if (index < 0) {
    portBox_->addItem(text, text);
    index = portBox_->count() - 1;
  }
  portBox_->setCurrentIndex(index);
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
      !op_.AskYesNoDefaultNo(kStopUpdateQuestion)) {
    event->ignore();
    return;
  }
  event->accept();
  End();
}

}  // namespace zendra
