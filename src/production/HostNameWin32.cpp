#include "production/HostName.h"
// The computer's name on Windows, as the network knows it.

#include <windows.h>

#include "base/WideText.h"

namespace zendra {

std::string HostName() {
  wchar_t name[256] = {};
  DWORD size = 255;
  if (!GetComputerNameExW(ComputerNameDnsHostname, name, &size) || size == 0) return "unknown";
  const std::string text = Utf8FromWide(std::wstring(name, size));
  return text.empty() ? "unknown" : text;
}

}  // namespace zendra
