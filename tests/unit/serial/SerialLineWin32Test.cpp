// The Windows COM port's rules, checked without a port: the line settings as a
// DCB, what a driver that kept other settings is told, the time-outs, the size
// of a read, and a port that is not there.

#include <gtest/gtest.h>

#include "serial/LineSettingTables.h"
#include "serial/SerialLineWin32.h"
#include "serial/SerialPort.h"

namespace zendra {
namespace {

// What GetCommState gives on a port some other program left behind.
DCB DriversDcb() {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  dcb.BaudRate = 4800;
  dcb.ByteSize = 5;
  dcb.Parity = MARKPARITY;
  dcb.StopBits = ONE5STOPBITS;
  dcb.fOutxCtsFlow = TRUE;
  dcb.fOutxDsrFlow = TRUE;
  dcb.fDsrSensitivity = TRUE;
  dcb.fRtsControl = RTS_CONTROL_TOGGLE;
  dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
  dcb.fOutX = TRUE;
  dcb.fInX = FALSE;
  dcb.fNull = TRUE;
  dcb.fAbortOnError = TRUE;
  dcb.fErrorChar = TRUE;
  dcb.XonChar = 'a';
  dcb.XoffChar = 'b';
  return dcb;
}

TEST(Win32LineSettings, EveryRateOfTheListAndEveryFrameGoIntoTheDcb) {
  for (const auto& rate : kBaudRateTable) {
    for (const int dataBits : {7, 8}) {
      for (const auto& [parity, code] : {std::pair{0, NOPARITY}, {1, ODDPARITY}, {2, EVENPARITY}}) {
        for (const auto& [stopBits, stopCode] : {std::pair{0, ONESTOPBIT}, {2, TWOSTOPBITS}}) {
          DCB dcb = DriversDcb();
          ASSERT_TRUE(win32::FillDcb(dcb, rate.value, parity, dataBits, stopBits, 10));
          EXPECT_EQ(dcb.BaudRate, static_cast<DWORD>(rate.value));
          EXPECT_EQ(dcb.ByteSize, dataBits);
          EXPECT_EQ(dcb.Parity, code);
          EXPECT_EQ(dcb.fParity != 0, parity != 0);
          EXPECT_EQ(dcb.StopBits, stopCode);
          // Binary, raw bytes: the ring drops NUL bytes itself, line errors never
          // stop the port, DTR and RTS asserted, no DSR handshake.
          EXPECT_TRUE(dcb.fBinary);
          EXPECT_FALSE(dcb.fNull);
          EXPECT_FALSE(dcb.fAbortOnError);
          EXPECT_FALSE(dcb.fErrorChar);
          EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
          EXPECT_FALSE(dcb.fOutxDsrFlow);
          EXPECT_FALSE(dcb.fDsrSensitivity);
          EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
        }
      }
    }
  }
}

TEST(Win32LineSettings, FlowControlIsEitherHandshakeAndNeverBoth) {
  DCB none = DriversDcb();
  ASSERT_TRUE(win32::FillDcb(none, 9600, 0, 8, 0, 10));
  EXPECT_FALSE(none.fOutxCtsFlow);
  EXPECT_EQ(none.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  EXPECT_FALSE(none.fOutX);
  EXPECT_FALSE(none.fInX);

  DCB software = DriversDcb();
  ASSERT_TRUE(win32::FillDcb(software, 9600, 0, 8, 0, 11));
  EXPECT_FALSE(software.fOutxCtsFlow);
  EXPECT_EQ(software.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  EXPECT_TRUE(software.fOutX);
  EXPECT_TRUE(software.fInX);
  EXPECT_EQ(software.XonChar, 17);
  EXPECT_EQ(software.XoffChar, 19);
  EXPECT_GT(software.XonLim, 0);
  EXPECT_GT(software.XoffLim, 0);

  DCB hardware = DriversDcb();
  ASSERT_TRUE(win32::FillDcb(hardware, 9600, 0, 8, 0, 12));
  EXPECT_TRUE(hardware.fOutxCtsFlow);
  EXPECT_EQ(hardware.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
  EXPECT_FALSE(hardware.fOutX);
  EXPECT_FALSE(hardware.fInX);

  // A code of no box leaves the driver's flow control as it was.
  DCB unknown = DriversDcb();
  ASSERT_TRUE(win32::FillDcb(unknown, 9600, 0, 8, 0, 99));
  const DCB driver = DriversDcb();
  EXPECT_EQ(unknown.fOutxCtsFlow, driver.fOutxCtsFlow);
  EXPECT_EQ(unknown.fRtsControl, driver.fRtsControl);
  EXPECT_EQ(unknown.fOutX, driver.fOutX);
  EXPECT_EQ(unknown.fInX, driver.fInX);
}

TEST(Win32LineSettings, AFrameWithoutADcbFormIsRefused) {
  for (const auto& [baud, parity, dataBits, stopBits] : {std::tuple{9600, 0, 6, 0},
                                                         {9600, 0, 9, 0},
                                                         {9600, 3, 8, 0},
                                                         {9600, 0, 8, 1},
                                                         {0, 0, 8, 0},
                                                         {-9600, 0, 8, 0}}) {
    DCB dcb = DriversDcb();
    EXPECT_FALSE(win32::FillDcb(dcb, baud, parity, dataBits, stopBits, 10))
        << baud << " " << parity << " " << dataBits << " " << stopBits;
  }
}

TEST(Win32LineSettings, WhatTheDriverDidNotTakeIsNamed) {
  DCB wanted = DriversDcb();
  ASSERT_TRUE(win32::FillDcb(wanted, 115200, 2, 7, 2, 12));
  EXPECT_EQ(win32::DcbMismatch(wanted, wanted), "");

  // A pseudo-terminal under wine keeps 8 data bits and no parity, whatever it is asked.
  DCB pty = wanted;
  pty.ByteSize = 8;
  pty.Parity = NOPARITY;
  EXPECT_EQ(win32::DcbMismatch(wanted, pty),
            "8 data bits instead of 7, no parity instead of even parity");

  DCB rate = wanted;
  rate.BaudRate = 115384;  // a divisor's rate of its own
  EXPECT_EQ(win32::DcbMismatch(wanted, rate), "115384 baud instead of 115200");

  DCB lines = wanted;
  lines.StopBits = ONESTOPBIT;
  lines.fOutxCtsFlow = FALSE;
  lines.fRtsControl = RTS_CONTROL_ENABLE;
  lines.fDtrControl = DTR_CONTROL_DISABLE;
  EXPECT_EQ(win32::DcbMismatch(wanted, lines),
            "1 stop bit instead of 2 stop bits, CTS flow control off instead of CTS flow control "
            "on, RTS on instead of RTS/CTS handshake, DTR off instead of DTR on");

  DCB xonxoff = DriversDcb();
  ASSERT_TRUE(win32::FillDcb(xonxoff, 9600, 0, 8, 0, 11));
  DCB half = xonxoff;
  half.fInX = FALSE;
  EXPECT_EQ(win32::DcbMismatch(xonxoff, half), "XON/XOFF off instead of XON/XOFF on");

  // Fields this program does not set are no concern of the check.
  DCB other = wanted;
  other.XonChar = 'x';
  other.fNull = TRUE;
  EXPECT_EQ(win32::DcbMismatch(wanted, other), "");
}

TEST(Win32LineSettings, AWriteMayTake230400ByBaudMillisecondsPerByteAndAReadWaitsForItsBytes) {
  const struct {
    int baud;
    DWORD perByte;
  } cases[] = {{1200, 192}, {2400, 96},  {9600, 24},  {57600, 4},
               {115200, 2}, {230400, 1}, {460800, 0}, {921600, 0}};
  for (const auto& c : cases) {
    const COMMTIMEOUTS t = win32::LineTimeouts(c.baud);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, c.perByte) << c.baud;
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier,
              static_cast<DWORD>(SerialPort::WriteTimeoutMultiplier(c.baud)));
    // Multiplier and constant both 0: no write time-out at all (460800 and up).
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 0u);
    // No read time-out of any kind: a read of one byte ends with that byte.
    EXPECT_EQ(t.ReadIntervalTimeout, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
  }
}

TEST(Win32LineSettings, AChunkIsTheFirstByteAndWhatTheDriverHoldsWithinTheBuffer) {
  EXPECT_EQ(win32::RestOfChunk(0, 4096), 0u);
  EXPECT_EQ(win32::RestOfChunk(14, 4096), 14u);
  EXPECT_EQ(win32::RestOfChunk(4095, 4096), 4095u);
  EXPECT_EQ(win32::RestOfChunk(4096, 4096), 4095u);
  EXPECT_EQ(win32::RestOfChunk(60000, 4096), 4095u);
  EXPECT_EQ(win32::RestOfChunk(10, 1), 0u);
  EXPECT_EQ(win32::RestOfChunk(10, 0), 0u);
}

TEST(Win32LineSettings, TheSystemsWordsForAnErrorEndWithoutPeriodOrLineEnd) {
  for (const DWORD error : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE}) {
    const std::string text = win32::ErrorText(error);
    ASSERT_FALSE(text.empty()) << error;
    EXPECT_NE(text.back(), '.') << text;
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  }
}

TEST(Win32Port, APortThatIsNotThereIsNamedAsTypedAndNothingRuns) {
  SerialPort port;
  EXPECT_FALSE(port.Open("com239", 9600, 0, 8, 0, 10));
  EXPECT_EQ(port.LastOpenError(), SerialPort::OpenError::kNotFound);
  EXPECT_EQ(port.OpenFailureDetail().rfind("COM239: there is no such serial port (", 0), 0u)
      << port.OpenFailureDetail();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.ReaderRunning());
  EXPECT_EQ(port.Write("AT\r\n"), 0);
  // A rate of no list is refused before the port is touched.
  EXPECT_FALSE(port.Open("COM239", 9601, 0, 8, 0, 10));
  EXPECT_EQ(port.LastOpenError(), SerialPort::OpenError::kSettings);
  EXPECT_EQ(port.OpenFailureDetail(), "COM239: the port does not take these line settings.");
}

}  // namespace
}  // namespace zendra
