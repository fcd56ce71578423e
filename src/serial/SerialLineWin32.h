#pragma once
// The rules of a Windows COM port that need no port to check: the line settings
// as a DCB, whether the driver kept them, the time-outs, and how much one read
// takes. SerialPortWin32.cpp applies them; the tests check them under wine.

#include <windows.h>

#include <string>

namespace zendra::win32 {

// Puts the line settings into `dcb` (as GetCommState gave it, so that the fields
// this program has no opinion on stay as the driver keeps them): the rate, 7 or 8
// data bits, parity (0 none, 1 odd, 2 even), stop bits (0 one, 2 two), flow
// control (10 none, 11 XON/XOFF, 12 RTS/CTS; another code leaves the driver's),
// DTR asserted and RTS asserted (under RTS/CTS it follows the handshake), binary
// mode, NUL bytes kept (the receive ring drops them), no abort on line errors.
// false when a setting has no DCB form (8 and 7 are the only data bits).
bool FillDcb(DCB& dcb, int baudRate, int parity, int dataBits, int stopBits, int flowControl);

// What the driver did not take of `wanted`, read back into `got` after
// SetCommState: "8 data bits instead of 7", "no parity instead of even parity";
// empty when it took every setting this program makes.
std::string DcbMismatch(const DCB& wanted, const DCB& got);

// The port's time-outs. A read waits without a time-out (the reader asks for one
// byte, which ends the wait at its arrival, then for what the driver holds); a
// write may take 230400 / baud ms per byte, without limit from 460800 baud on.
COMMTIMEOUTS LineTimeouts(int baudRate);

// How many bytes the read after the first byte of a chunk asks for: what the
// driver holds, within the room left in a chunk of `capacity` bytes of which one
// is taken.
DWORD RestOfChunk(DWORD queued, DWORD capacity);

// The system's words for a Win32 error code, in UTF-8, without the closing
// period and line end ("The system cannot find the file specified").
std::string ErrorText(DWORD error);

}  // namespace zendra::win32
