// libFuzzer target: the update server's lists are outside input. Parses arbitrary
// bytes as a list, matches the firmware lines against a product and version taken
// from the input, and runs every entry through the checks that guard the local
// folder and the URL. Checks what the rest of the manager relies on:
//   - entries are non-empty single lines without CR or NUL;
//   - an offer names a line of the list for exactly that product, with another
//     version and a file name; "current" names a line with that version;
//   - a name taken as safe stays inside its folder however it is normalised, with
//     '\' read as a separator as Windows would;
//   - the proposed save name has no separator; a file URL has no byte that
//     cannot stand in a URL; a base URL from a setting is http(s) and ends in "/".
//
//   cmake --preset fuzz && cmake --build build-fuzz --target update_list_fuzz
//   ./build-fuzz/bin/update_list_fuzz -max_total_time=60

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "webupdate/UpdateList.h"
#include "webupdate/UpdateServerUrl.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckName(const std::string& name) {
  const std::string proposed = UpdateList::ProposedFileName(name);
  Check(proposed.find_first_of("/\\") == std::string::npos);
  Check(name.size() >= proposed.size() &&
        name.compare(name.size() - proposed.size(), proposed.size(), proposed) == 0);

  for (const char c : UpdateServerUrl::FileUrl("http://h/f/", name)) {
    const auto byte = static_cast<unsigned char>(c);
    Check(byte > ' ' && byte < 0x7f && c != '#' && c != '?' && c != '\\');
  }

  if (!UpdateList::IsSafeRelativeName(name)) return;
  std::string portable = name;
  std::replace(portable.begin(), portable.end(), '\\', '/');
  const auto normal = (std::filesystem::path("/base/folder") / portable).lexically_normal();
  const std::string text = normal.string();
  Check(text == "/base/folder" || text.rfind("/base/folder/", 0) == 0);
}

void CheckMatch(const std::vector<std::string>& entries, const std::string& product,
                const std::string& version) {
  const auto match = UpdateList::MatchFirmware(entries, product, version);
  if (match.state == UpdateList::FirmwareMatch::kNothingFound) return;
  Check(!product.empty() && !version.empty());
  if (match.state == UpdateList::FirmwareMatch::kOffer) {
    Check(match.newVersion != version && !match.newVersion.empty() && !match.fileName.empty());
    Check(match.newVersion.find(':') == std::string::npos);
    const std::string line = product + ":" + match.newVersion + ":" + match.fileName;
    Check(std::find(entries.begin(), entries.end(), line) != entries.end());
  } else {
    Check(match.state == UpdateList::FirmwareMatch::kCurrent);
    const std::string start = product + ":" + version + ":";
    Check(std::any_of(entries.begin(), entries.end(), [&](const std::string& e) {
      return e.size() > start.size() && e.rfind(start, 0) == 0;
    }));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const auto entries = UpdateList::Entries(bytes);
  if (entries) {
    std::size_t total = 0;
    for (const auto& e : *entries) {
      Check(!e.empty() && e.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
      total += e.size();
      CheckName(e);
    }
    Check(total <= size);
    // The device's product and version: the first line's first two fields, and
    // the same with the version cut short, as a device reporting "1.0" would.
    if (!entries->empty()) {
      const std::string& first = entries->front();
      const std::size_t a = first.find(':');
      const std::size_t b = a == std::string::npos ? a : first.find(':', a + 1);
      const std::string product = first.substr(0, a);
      const std::string version = a == std::string::npos ? "" : first.substr(a + 1, b - a - 1);
      CheckMatch(*entries, product, version);
      CheckMatch(*entries, product, version.substr(0, version.size() / 2));
      CheckMatch(*entries, product.substr(0, product.size() / 2), version);
    }
  }

  // The same bytes as one name and as the server setting.
  CheckName(std::string(bytes.substr(0, 512)));
  const std::string url = UpdateServerUrl::FromSetting(bytes.substr(0, 512));
  if (!url.empty()) {
    Check(url.back() == '/');
    std::string scheme = url.substr(0, 8);
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    Check(scheme.rfind("http://", 0) == 0 || scheme == "https://");
    Check(std::none_of(url.begin(), url.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= ' '; }));
  }
  return 0;
}
