#pragma once
// SHA-256 of a file or of bytes, as 64 lower-case hexadecimal digits: what a
// production record keeps of the image and the configuration file a module got,
// so that the record says exactly which files they were even after the files
// were renamed or replaced.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zendra {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t length);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // The digest of everything given so far, in hexadecimal. The object is spent.
  std::string FinalHex();

  static std::string OfBytes(std::string_view bytes);
  // nullopt when the file cannot be read whole.
  static std::optional<std::string> OfFile(const std::string& path);

 private:
  void Block(const std::uint8_t* block);

  std::uint32_t state_[8];
  std::uint8_t buffer_[64];
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;  // bytes given so far
};

}  // namespace zendra
