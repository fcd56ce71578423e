#pragma once
// The one serial line of the manager. Its system's part is in SerialPortPosix.cpp
// (termios) or SerialPortWin32.cpp (a COM port through overlapped I/O); the build
// takes the one of its system.
//
// Open configures the line from the codes the main window works with (parity
// 0 none / 1 odd / 2 even, stop bits 0 one / 2 two, flow control 10 none /
// 11 XON-XOFF / 12 RTS-CTS), asserts DTR and RTS, and starts a reader thread that
// moves every received byte into the ReceiveBuffer. The port is held for this
// program alone (TIOCEXCL and an advisory lock; on Windows the port is opened
// without sharing), so that nothing else can open it in the middle of a firmware
// update.
//
// The reader waits on the port and on a wake-up descriptor (on Windows a stop
// event) at once, so Close ends it at once. When the port vanishes (the far end
// of a pseudo-terminal closed, a USB adapter pulled) the reader ends instead of
// spinning; later writes fail and transactions time out.
//
// A LineTap (the traffic log) may watch everything that crosses the line; without
// one, the port pays a single atomic load per write and per received chunk.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>

#include "serial/LineTap.h"
#include "serial/ReceiveBuffer.h"

namespace zendra {

class SerialPort {
 public:
  static constexpr int kFlowNone = 10;
  static constexpr int kFlowSoftware = 11;
  static constexpr int kFlowHardware = 12;

  // Why the last Open failed.
  enum class OpenError {
    kNone,
    kNotFound,    // no such device
    kPermission,  // the user may not use it
    kBusy,        // another program holds it
    kSettings,    // the rate is none of the line's, or the driver refused the settings
    kOther,
  };

  SerialPort() = default;
  ~SerialPort();
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // `portName` is a device path, or "COMn": on POSIX systems it stands for
  // /dev/ttyS(n-1), on Windows for the COM port of that number.
  // false when the port cannot be opened, locked or configured; the port is then closed.
  bool Open(const std::string& portName, int baudRate, int parity, int dataBits, int stopBits,
            int flowControl);
  // Ends the reader thread at once and releases the port. Harmless when closed.
  void Close();

  // Writes the bytes whole; returns the count written (less on failure or when
  // the write time-out of 230400 / baud ms per byte runs out; no time-out at
  // 460800 baud and above).
  int Write(const void* bytes, int length);
  int Write(std::string_view text) { return Write(text.data(), static_cast<int>(text.size())); }

  bool IsOpen() const { return fd_.load() >= 0; }
  // false once the port has vanished under the reader (or while closed).
  bool ReaderRunning() const { return readerRunning_.load(); }
  bool Vanished() const { return vanished_.load(); }

  OpenError LastOpenError() const { return openError_; }
  // The system's own words for the last failed Open ("Permission denied"); empty
  // when it has none.
  const std::string& LastOpenErrorText() const { return openErrorText_; }

  // What the operator can do about the last failed Open, naming the port: that
  // another program holds it, that the user may not use serial ports, that there
  // is no such device, with the system's reason. Empty when the last Open worked.
  std::string OpenFailureDetail() const;

  int BaudRate() const { return baudRate_.load(); }
  const std::string& DevicePath() const { return devicePath_; }

  // From now on every write, every received chunk and the port's opening, closing
  // and loss are told to `tap` (nullptr: to nobody). Returns once no call to the
  // former tap is under way any more, so that it may then go.
  void SetTap(LineTap* tap);

  ReceiveBuffer& Receive() { return receive_; }
  const ReceiveBuffer& Receive() const { return receive_; }

  // The name Open opens: "COM3" -> "/dev/ttyS2" on POSIX systems, "com3" -> "COM3"
  // on Windows (serial/PortName.h); anything else is returned unchanged.
  static std::string ResolvePortName(const std::string& portName);
  // What a port name is on this system, for a command line's help.
  static const char* PortNameHelp();
  // Write time-out multiplier in milliseconds per byte: 230400 / baud.
  static int WriteTimeoutMultiplier(int baudRate) { return baudRate > 0 ? 230400 / baudRate : 0; }
  // Whether the line can run at this rate.
  static bool IsSupportedBaudRate(int baudRate);

 private:
  void ReaderThread(std::stop_token stop);
  int ReadAvailable(std::uint8_t* buffer, int capacity);
  void ReleaseLocked();
  void WakeReader();
  bool FailOpen(OpenError error, int systemError);
  // What every system's Open ends with (SerialPortCommon.cpp). StartReader: the
  // port (fd_, wakeFd_) is set; the rate is kept, the opening told, the reader
  // started (false, the port released, when it cannot be). RecordOpenFailure: why
  // Open failed, in the system's words; returns false.
  bool StartReader(int baudRate);
  // The system's part of Open, with the former port released, devicePath_ set and
  // the rate known to be supported; called with the port's locks held.
  bool OpenSystemPort(int baudRate, int parity, int dataBits, int stopBits, int flowControl);
  bool RecordOpenFailure(OpenError error, std::string systemText);
  int WriteBytes(const std::uint8_t* data, int length);
  void Tell(LineTap::Event event, const void* bytes, std::size_t length) {
    if (tap_.load(std::memory_order_acquire) != nullptr) TellTap(event, bytes, length);
  }
  void Tell(LineTap::Event event, std::string_view text) { Tell(event, text.data(), text.size()); }
  void TellTap(LineTap::Event event, const void* bytes, std::size_t length);

  // The open port: a descriptor on POSIX systems, a HANDLE on Windows; -1 while
  // closed (INVALID_HANDLE_VALUE is -1 too).
  std::atomic<std::intptr_t> fd_{-1};
  // What wakes the reader for Close: an eventfd, or an event HANDLE on Windows.
  std::intptr_t wakeFd_ = -1;
  std::atomic<int> baudRate_{0};
  std::string devicePath_;
  OpenError openError_ = OpenError::kNone;
  std::string openErrorText_;
  std::atomic<bool> running_{false};
  std::atomic<bool> readerRunning_{false};
  std::atomic<bool> vanished_{false};
  std::shared_mutex lifecycle_;  // writers share it, Open/Close take it whole
  std::mutex openClose_;
  std::jthread reader_;
  ReceiveBuffer receive_;
  std::atomic<LineTap*> tap_{nullptr};
  std::shared_mutex tapMutex_;  // held shared while the tap is told, whole while it changes
};

}  // namespace zendra
