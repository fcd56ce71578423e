// libFuzzer target: a firmware image is a file the operator chooses (or the update
// server sends), outside input. Reads arbitrary bytes as an image file the way the
// update checks do - the model code near its start, and whether the file is text -
// and checks the text scan against a decoder written here from the definition of
// UTF-8 (code points, not byte ranges), whole and in two or three pieces split where
// the input says.
//
//   cmake --preset fuzz && cmake --build build-fuzz --target firmware_image_fuzz
//   ./build-fuzz/bin/firmware_image_fuzz -max_total_time=60

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "firmware/ImageCheck.h"
#include "firmware/PlainTextScan.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Printable ASCII, TAB, LF, CR, or a character U+0080..U+10FFFF (no surrogate) in
// its shortest UTF-8 form.
bool ReferenceIsText(std::string_view bytes) {
  if (bytes.empty()) return false;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if ((lead >= 0x20 && lead < 0x7F) || lead == '\t' || lead == '\n' || lead == '\r') {
      ++i;
      continue;
    }
    int length = 0;
    std::uint32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) length = 2, cp = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0) length = 3, cp = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0) length = 4, cp = lead & 0x07;
    else return false;
    if (i + length > bytes.size()) return false;
    for (int k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3F);
    }
    const std::uint32_t shortest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (cp < shortest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

const std::string& ImagePath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("zendra-image-fuzz-" + std::to_string(::getpid()) + ".ebl"))
          .string();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const bool text = PlainTextScan::IsPlainText(bytes);
  Check(text == ReferenceIsText(bytes));

  // In pieces, split at points taken from the input's first bytes: the same verdict.
  if (size >= 2) {
    const std::size_t first = data[0] % (size + 1);
    const std::size_t second = first + data[1] % (size - first + 1);
    PlainTextScan scan;
    const bool a = scan.Feed(bytes.substr(0, first));
    const bool b = scan.Feed(bytes.substr(first, second - first));
    const bool c = scan.Feed(bytes.substr(second));
    Check(scan.AllText() == text);
    // Once a piece has shown a byte that is no text, every later piece says so.
    Check(a || (!b && !c));
    Check(b || !c);
  }

  // The file readers: the model code, and the text check on the file.
  std::FILE* file = std::fopen(ImagePath().c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  const auto model = FindImageModel(ImagePath());
  Check(model.has_value() == (size > 0));
  if (model && !model->empty()) {
    // A code found lies within the first 255 bytes (NUL bytes searched as spaces).
    std::string head(bytes.substr(0, 255));
    for (char& ch : head)
      if (ch == '\0') ch = ' ';
    Check(head.find(*model) != std::string::npos);
  }
  Check(IsTextFile(ImagePath()) == text);
  return 0;
}
