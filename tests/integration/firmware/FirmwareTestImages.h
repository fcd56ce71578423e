#pragma once
// Firmware images for the tests against the simulated module: a model code near
// the start, the version text the module reads back, and a payload pattern.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

namespace zendra::test {

class TempImages {
 public:
  TempImages() {
    dir_ = std::filesystem::temp_directory_path() /
           ("fw-it-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  ~TempImages() { std::filesystem::remove_all(dir_); }

  // `size` bytes: the header (model code and version between NUL bytes), then a pattern.
  std::string Write(std::size_t size) {
    return Write(size, std::string("EBL\0MA11\0VERSION=v1.11.0\0", 26));
  }
  std::string Write(std::size_t size, const std::string& header) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 13 + 5) & 0xFF);
    for (std::size_t i = 0; i < header.size() && i < size; ++i)
      bytes[i] = static_cast<std::uint8_t>(header[i]);
    last_ = bytes;
    const auto path = dir_ / ("image" + std::to_string(++count_) + ".ebl");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(size));
    return path.string();
  }
  // The bytes of the last image written.
  const std::vector<std::uint8_t>& Last() const { return last_; }
  // The last image as the bootloader keeps it: padded with 0x26 to whole blocks.
  std::vector<std::uint8_t> LastPadded() const {
    auto padded = last_;
    while (padded.size() % 128 != 0) padded.push_back(0x26);
    return padded;
  }

 private:
  std::filesystem::path dir_;
  std::vector<std::uint8_t> last_;
  int count_ = 0;
};

}  // namespace zendra::test
