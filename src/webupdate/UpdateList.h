#pragma once
// The update server's two lists, "Configs" and "Firmware", and what the checks
// make of them.
//
// A list is plain text whose first line is the marker "VEXA"; an answer without
// it (an HTML error page, a captive portal, another server) is no list. Line ends
// may be CR LF or LF: every CR is removed first. The entries are the non-empty
// lines after the marker line. A "Configs" entry is a file name relative to the
// server folder, which also names the file in the local destination folder. A
// "Firmware" entry is "product:version:filename", the file name running from the
// second colon to the line end.
//
// The server is outside input: a "Configs" name is used locally only when it stays
// inside its destination folder, and a firmware file name is proposed to the
// operator by its last path component only.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zendra {

class UpdateList {
 public:
  static constexpr std::string_view kMarkerLine = "VEXA\n";

  // The entries of a fetched list, or nothing when the text does not begin with
  // the marker line. The text ends at its first NUL byte, as a C text does.
  static std::optional<std::vector<std::string>> Entries(std::string_view text);

  // How the firmware list stands to one device. `state` is what the download
  // dialog's FileCount holds after the match.
  struct FirmwareMatch {
    static constexpr int kNothingFound = 0;
    static constexpr int kOffer = 1;
    static constexpr int kCurrent = -1;  // the device runs the listed version
    int state = kNothingFound;
    std::string newVersion;  // kOffer: the listed version
    std::string fileName;    // kOffer: the listed file name, relative to the server folder
  };

  // The first entry whose product field is `product` and that has a version and a
  // file name decides: the same version means current, another one is offered.
  // Fields are compared whole ("MA1" is not "MA11", "1.0" is not "1.0.6"); an entry
  // without two colons, or with an empty product, version or file name, decides
  // nothing. An empty product or version is offered nothing.
  static FirmwareMatch MatchFirmware(const std::vector<std::string>& entries,
                                     std::string_view product, std::string_view version);

  // A relative name that stays inside the folder it is appended to: not empty, not
  // absolute ("/x", "\x", "C:x"), and no ".." component, with '/' and '\' both
  // taken as separators. Empty and "." components are harmless.
  static bool IsSafeRelativeName(std::string_view name);

  // The name the save dialog proposes for a listed file: its last path component.
  static std::string ProposedFileName(std::string_view listedName);
};

}  // namespace zendra
