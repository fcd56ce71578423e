#pragma once
// The operator's line settings, with the codes SerialPort::Open takes.

namespace zendra {

struct LineSettings {
  int baudRate = 9600;
  int parity = 0;        // 0 none, 1 odd, 2 even
  int stopBits = 0;      // 0 one, 2 two
  int dataBits = 8;      // 7 or 8
  int flowControl = 10;  // 10 none, 11 XON/XOFF, 12 RTS/CTS

  bool operator==(const LineSettings&) const = default;
};

}  // namespace zendra
