#pragma once
// The port box: an editable drop-down whose list is read again each time it
// opens, so that an adapter plugged in after the start is there. Each entry shows
// what is known of the port ("/dev/ttyUSB0 — FT232R USB UART (A5XK3RJH)") while
// the text the box holds, and Open takes, stays the path; the box's tooltip shows
// the chosen port's description. Ports added by the program (the simulated
// module's) stay in the list across re-reads.

#include <QComboBox>
#include <functional>
#include <vector>

#include "serial/PortList.h"

namespace zendra {

class PortBox : public QComboBox {
  Q_OBJECT

 public:
  using Source = std::function<std::vector<PortInfo>()>;

  explicit PortBox(QWidget* parent = nullptr);

  // Where the list comes from; fills it at once.
  void SetSource(Source source);
  // Reads the list again; the text the box holds stays as it is.
  void Refill();
  // Adds a port the list cannot see and keeps it across re-reads.
  void AddPort(const QString& path);
  // Selects `path` when listed, otherwise puts it in the box as typed text.
  void ShowPath(const QString& path);

  void showPopup() override;

 private:
  void ShowDescription();

  Source source_;
  std::vector<PortInfo> added_;
};

}  // namespace zendra
