#include "serial/SerialLineWin32.h"

#include <algorithm>

#include "base/WideText.h"

namespace zendra::win32 {

namespace {

constexpr int kFlowNone = 10;
constexpr int kFlowSoftware = 11;
constexpr int kFlowHardware = 12;

constexpr char kXon = 17;
constexpr char kXoff = 19;

// The driver's queues are 4096 bytes each; XOFF goes out when 3/4 of the input
// queue is taken, XON once it is back under 1/4.
constexpr WORD kXonLimit = 1024;
constexpr WORD kXoffLimit = 1024;

std::string ParityName(BYTE parity) {
  switch (parity) {
    case NOPARITY:
      return "no parity";
    case ODDPARITY:
      return "odd parity";
    case EVENPARITY:
      return "even parity";
    case MARKPARITY:
      return "mark parity";
    case SPACEPARITY:
      return "space parity";
  }
  return "parity " + std::to_string(parity);
}

std::string StopBitsName(BYTE stopBits) {
  switch (stopBits) {
    case ONESTOPBIT:
      return "1 stop bit";
    case ONE5STOPBITS:
      return "1.5 stop bits";
    case TWOSTOPBITS:
      return "2 stop bits";
  }
  return "stop bits " + std::to_string(stopBits);
}

std::string RtsName(DWORD control) {
  switch (control) {
    case RTS_CONTROL_DISABLE:
      return "RTS off";
    case RTS_CONTROL_ENABLE:
      return "RTS on";
    case RTS_CONTROL_HANDSHAKE:
      return "RTS/CTS handshake";
    case RTS_CONTROL_TOGGLE:
      return "RTS toggled";
  }
  return "RTS control " + std::to_string(control);
}

std::string DtrName(DWORD control) {
  switch (control) {
    case DTR_CONTROL_DISABLE:
      return "DTR off";
    case DTR_CONTROL_ENABLE:
      return "DTR on";
    case DTR_CONTROL_HANDSHAKE:
      return "DTR handshake";
  }
  return "DTR control " + std::to_string(control);
}

std::string OnOff(const char* what, bool on) { return std::string(what) + (on ? " on" : " off"); }

}  // namespace

bool FillDcb(DCB& dcb, int baudRate, int parity, int dataBits, int stopBits, int flowControl) {
  if (baudRate <= 0 || (dataBits != 7 && dataBits != 8)) return false;
  BYTE parityCode = NOPARITY;
  switch (parity) {
    case 0:
      break;
    case 1:
      parityCode = ODDPARITY;
      break;
    case 2:
      parityCode = EVENPARITY;
      break;
    default:
      return false;
  }
  if (stopBits != 0 && stopBits != 2) return false;

  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = static_cast<DWORD>(baudRate);
  dcb.fBinary = TRUE;
  dcb.ByteSize = static_cast<BYTE>(dataBits);
  dcb.Parity = parityCode;
  dcb.fParity = parityCode != NOPARITY;
  dcb.StopBits = stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  switch (flowControl) {
    case kFlowNone:
      dcb.fOutxCtsFlow = FALSE;
      dcb.fRtsControl = RTS_CONTROL_ENABLE;
      dcb.fOutX = FALSE;
      dcb.fInX = FALSE;
      break;
    case kFlowSoftware:
      dcb.fOutxCtsFlow = FALSE;
      dcb.fRtsControl = RTS_CONTROL_ENABLE;
      dcb.fOutX = TRUE;
      dcb.fInX = TRUE;
      dcb.fTXContinueOnXoff = TRUE;
      dcb.XonChar = kXon;
      dcb.XoffChar = kXoff;
      dcb.XonLim = kXonLimit;
      dcb.XoffLim = kXoffLimit;
      break;
    case kFlowHardware:
      dcb.fOutxCtsFlow = TRUE;
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
      dcb.fOutX = FALSE;
      dcb.fInX = FALSE;
      break;
    default:  // an unknown code: flow control stays as the driver had it
      break;
  }
  return true;
}

std::string DcbMismatch(const DCB& wanted, const DCB& got) {
  std::string differences;
  auto note = [&](const std::string& kept, const std::string& asked) {
    if (!differences.empty()) differences += ", ";
    differences += kept + " instead of " + asked;
  };
  if (got.BaudRate != wanted.BaudRate)
    note(std::to_string(got.BaudRate) + " baud", std::to_string(wanted.BaudRate));
  if (got.ByteSize != wanted.ByteSize)
    note(std::to_string(got.ByteSize) + " data bits", std::to_string(wanted.ByteSize));
  if (got.Parity != wanted.Parity) note(ParityName(got.Parity), ParityName(wanted.Parity));
  if (got.StopBits != wanted.StopBits)
    note(StopBitsName(got.StopBits), StopBitsName(wanted.StopBits));
  if (got.fOutxCtsFlow != wanted.fOutxCtsFlow)
    note(OnOff("CTS flow control", got.fOutxCtsFlow),
         OnOff("CTS flow control", wanted.fOutxCtsFlow));
  if (got.fRtsControl != wanted.fRtsControl)
    note(RtsName(got.fRtsControl), RtsName(wanted.fRtsControl));
  if (got.fOutX != wanted.fOutX || got.fInX != wanted.fInX) {
    const bool asked = wanted.fOutX && wanted.fInX;
    note(OnOff("XON/XOFF", got.fOutX && got.fInX), OnOff("XON/XOFF", asked));
  }
  if (got.fDtrControl != wanted.fDtrControl)
    note(DtrName(got.fDtrControl), DtrName(wanted.fDtrControl));
  return differences;
}

COMMTIMEOUTS LineTimeouts(int baudRate) {
  COMMTIMEOUTS timeouts{};
  // All read fields 0: a read ends when it has the bytes it asked for.
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = baudRate > 0 ? static_cast<DWORD>(230400 / baudRate) : 0;
  timeouts.WriteTotalTimeoutConstant = 0;
  return timeouts;
}

DWORD RestOfChunk(DWORD queued, DWORD capacity) {
  if (capacity <= 1) return 0;
  return std::min(queued, capacity - 1);
}

std::string ErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text =
      length > 0 && buffer != nullptr ? std::wstring(buffer, length) : std::wstring();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.'))
    text.pop_back();
  if (text.empty()) return "system error " + std::to_string(error);
  return Utf8FromWide(text);
}

}  // namespace zendra::win32
