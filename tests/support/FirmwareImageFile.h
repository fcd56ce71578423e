#pragma once
// A small firmware image on disk for the firmware tests: the ebl header record
// ("EBL" and NUL), the model code and "VERSION=" near its start, as the simulated
// module's bootloader reads them, then payload bytes. Removed with its folder when
// the test ends.
//
// Two other forms stand for files that are no image: a binary file that carries
// the model code but not the header record (it passes the manager's checks, and the
// bootloader refuses it once it has come), and a text file that mentions the model
// (the manager refuses it before anything is sent).

#include <cstdint>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace zendra::test {

class FirmwareImageFile {
 public:
  enum class Form { kEbl, kNoEblHeader, kText };

  FirmwareImageFile(const std::string& model, const std::string& version, std::size_t size,
                    Form form = Form::kEbl) {
    std::string bytes(size, '\0');
    if (form == Form::kText) {
      const std::string line = "Release notes for the " + model + " firmware " + version + ".\r\n";
      for (std::size_t i = 0; i < size; ++i) bytes[i] = line[i % line.size()];
    } else {
      const std::string magic = form == Form::kEbl ? std::string("EBL\0", 4) : "\x89ZFW";
      const std::string header = magic + model + std::string(1, '\0') + "VERSION=" + version +
                                 std::string(1, '\0');
      for (std::size_t i = 0; i < size; ++i)
        bytes[i] = i < header.size() ? header[i] : static_cast<char>((i * 29 + 7) & 0xFF);
    }
    bytes_.assign(bytes.begin(), bytes.end());
    path_ = folder_.Write(model + "_" + version + ".ebl", bytes);
  }

  const std::string& Path() const { return path_; }
  // The image as the bootloader keeps it: padded with 0x26 to whole 128-byte blocks.
  std::vector<std::uint8_t> Padded() const {
    std::vector<std::uint8_t> padded = bytes_;
    padded.resize((bytes_.size() + 127) / 128 * 128, 0x26);
    return padded;
  }

 private:
  TempFolder folder_;
  std::vector<std::uint8_t> bytes_;
  std::string path_;
};

}  // namespace zendra::test
