#pragma once
// A small firmware image on disk for the firmware windows' tests: the model code
// and "VERSION=" near its start, as the simulated module's bootloader reads them,
// then payload bytes. Removed with its folder when the test ends.

#include <cstdint>
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace zendra::test {

class FirmwareImageFile {
 public:
  FirmwareImageFile(const std::string& model, const std::string& version, std::size_t size) {
    const std::string header = std::string("EBL\0", 4) + model + std::string(1, '\0') +
                               "VERSION=" + version + std::string(1, '\0');
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
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
