#pragma once
// The main window (template 102): the "Serial Port" boxes with Open, the device
// information with Reboot and Reload, and the tab control with the Configuration
// and Firmware Update pages. It owns the Connection and hands it to the pages.
//
// Esc and Enter never end this window (its closing box does, and asks first while a
// firmware update runs: stopped half-way, the module would be left without a
// working firmware). The handlers stay thin: they read the boxes, start the Connection's work as a
// module task (the window keeps painting while the module is asked) and show what
// it found when the task has ended. While any activity holds the line, the line's
// other users — Open/Close, Reboot, Reload, both pages' module controls — wait
// with it; the window learns of that from the line's gate.

#include <QDialog>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "device/Connection.h"
#include "device/LineSettingsChoice.h"
#include "serial/PortDetect.h"
#include "widgets/FocusKeeper.h"
#include "widgets/ModuleTaskRunner.h"
#include "widgets/PortBox.h"
#include "widgets/WindowRelay.h"

class QAction;
class QComboBox;
class QSettings;
class QLabel;
class QPushButton;
class QTabWidget;

namespace zendra {

class ConfigPage;
class FirmwarePage;
class PortList;
class TrafficConsole;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // `ports` fills the port box (read again each time the box opens); null: the
  // ports of this computer.
  explicit MainDialog(Operator& op, const PortList* ports = nullptr, QWidget* parent = nullptr);
  ~MainDialog() override;

  Connection& Conn() { return connection_; }
  // The operator of the window's tasks (it relays their calls to the window's thread).
  Operator& Op() { return relay_; }
  ConfigPage* Config() { return configPage_; }
  FirmwarePage* Firmware() { return firmwarePage_; }
  QTabWidget* Tabs() { return tabs_; }
  ModuleTaskRunner& Tasks() { return tasks_; }
  // The traffic console (View > Traffic Console): hidden until asked for, recording
  // the line's traffic from the start.
  TrafficConsole* Console() { return console_; }
  void ShowConsole();

  // The Open / Close button (1009), Reboot (1006), Reload (1007). Open, Reboot and
  // the opening half of Reload start a module task and return at once.
  void OnOpen();
  void OnReboot();
  void OnReload();
  // Detect (1060), while disconnected: tries the ports of the port box at every
  // rate as a module task, then shows the first port where a module answered,
  // and its rate, in the port and baud boxes (a message when none did, naming the
  // ports that other programs hold).
  void OnDetect();
  // Fast flashing (the Options menu): remembered; off by default.
  QAction* FastFlashing() { return fastFlashing_; }
  // Options > Update Server...: UpdateServerDialog, modal.
  QAction* UpdateServerAction() { return updateServer_; }

  // Enables (connect) or disables (close) the controls that need a connection; on
  // close it also empties the device texts and the Configuration page's remote and
  // range texts.
  void EnableConnectionControls(bool on);
  // Shows the Connection's four device texts in 1022, 1024, 1023 and 1025.
  void ShowDeviceTexts();
  void ShowDeviceTexts(const DeviceInfo& device);
  // Adds a port that the enumeration cannot see (the simulated module) and selects it.
  void AddAndSelectPort(const std::string& path);
  // What the window remembers between runs: the port (unless `withPort` is false,
  // as for the simulated module's port, which is gone with it), the line settings,
  // the window's place and size. Restoring leaves alone what was not remembered.
  void RestoreSettings(const QSettings& settings);
  void SaveSettings(QSettings& settings, bool withPort) const;
  // The texts of the six "Serial Port" boxes as they stand.
  SerialPortBoxTexts BoxTexts() const;

  void ShowAbout();
  // Ends the window (and the program): what the closing box does once allowed.
  void End();

  // Esc does not end the main window, nor does Enter: it ends only through End().
  void reject() override;
  void accept() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // The closing box asks first while a firmware update runs.
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls(QWidget* client, PortBox::Source ports);
  std::vector<std::string> DetectPorts();
  void ApplyDetected(const std::vector<DetectedPort>& results);
  void FitToScreen();
  // The end of the connect task, on the window's thread.
  void OnConnected(bool connected);
  // Open when closed; closed, the port is closed on a task and `thenOpen` runs after.
  void OpenOrClose(std::function<void()> thenOpen);
  // The line was taken or given back (posted from the thread that did it).
  void OnLineBusy(bool busy);
  void ApplyLineBusy(bool busy);

  Operator& op_;
  WindowRelay relay_;
  Connection connection_;
  ModuleTaskRunner tasks_;
  // A short activity (a parameter read) should not make the window flicker: the
  // line's users are disabled only once the line has been busy for a moment.
  QTimer busyDelay_;
  bool lineBusy_ = false;
  FocusReturn focusReturn_;

  QWidget* client_ = nullptr;
  PortBox* portBox_ = nullptr;
  QComboBox* baudBox_ = nullptr;
  QComboBox* dataBitsBox_ = nullptr;
  QComboBox* parityBox_ = nullptr;
  QComboBox* stopBitsBox_ = nullptr;
  QComboBox* flowBox_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QPushButton* detectButton_ = nullptr;
  QAction* fastFlashing_ = nullptr;
  QAction* updateServer_ = nullptr;
  QPushButton* rebootButton_ = nullptr;
  QPushButton* reloadButton_ = nullptr;
  QLabel* productNameText_ = nullptr;
  QLabel* euiAddressText_ = nullptr;
  QLabel* nodeNameText_ = nullptr;
  QLabel* firmwareVersionText_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  ConfigPage* configPage_ = nullptr;
  FirmwarePage* firmwarePage_ = nullptr;
  TrafficConsole* console_ = nullptr;
};

}  // namespace zendra
