#pragma once
// The main window (template 102): the "Serial Port" boxes with Open, the device
// information with Reboot and Reload, and the tab control with the Configuration
// and Firmware Update pages. It owns the Connection; the pages reach the port,
// the device texts and the operator through it.
//
// The handlers stay thin: they read the boxes, call the Connection and show what
// it found. Ending the dialog (Enter, Esc, the close button) ends the program.

#include <QDialog>
#include <string>

#include "app/Connection.h"
#include "app/ConnectionControls.h"
#include "app/LineSettingsChoice.h"
#include "firmware/FirmwarePageView.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace zendra {

class ConfigPage;
class FirmwarePage;
class PortList;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // `ports` fills the port box; null: the ports of this computer.
  explicit MainDialog(Operator& op, const PortList* ports = nullptr, QWidget* parent = nullptr);
  ~MainDialog() override;

  Connection& Conn() { return connection_; }
  Operator& Op() { return op_; }
  ConfigPage* Config() { return configPage_; }
  FirmwarePage* Firmware() { return firmwarePage_; }
  QTabWidget* Tabs() { return tabs_; }

  // The Open / Close button (1009), Reboot (1006), Reload (1007).
  void OnOpen();
  void OnReboot();
  void OnReload();

  // Enables (connect) or disables (close) the controls that need a connection; on
  // close it also empties the device texts and the Configuration page's remote and
  // range texts.
  void EnableConnectionControls(bool on);
  // Shows the Connection's four device texts in 1022, 1024, 1023 and 1025.
  void ShowDeviceTexts();
  // The same for texts read by a firmware worker after a local update.
  void ShowDeviceTexts(const DeviceTexts& texts);
  // Adds a port that the enumeration cannot see (the simulated module) and selects it.
  void AddAndSelectPort(const std::string& path);
  // The texts of the six "Serial Port" boxes as they stand.
  SerialPortBoxTexts BoxTexts() const;

  void ShowAbout();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls(QWidget* client, const PortList& ports);
  QWidget* WindowOf(ControlWindow window);

  Operator& op_;
  Connection connection_;

  QWidget* client_ = nullptr;
  QComboBox* portBox_ = nullptr;
  QComboBox* baudBox_ = nullptr;
  QComboBox* dataBitsBox_ = nullptr;
  QComboBox* parityBox_ = nullptr;
  QComboBox* stopBitsBox_ = nullptr;
  QComboBox* flowBox_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QLabel* productNameText_ = nullptr;
  QLabel* euiAddressText_ = nullptr;
  QLabel* nodeNameText_ = nullptr;
  QLabel* firmwareVersionText_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  ConfigPage* configPage_ = nullptr;
  FirmwarePage* firmwarePage_ = nullptr;
};

}  // namespace zendra
