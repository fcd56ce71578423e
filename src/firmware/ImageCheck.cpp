#include "firmware/ImageCheck.h"

#include <cstdio>
#include <memory>

#include "device/Connection.h"
#include "firmware/PlainTextScan.h"
#include "serial/SerialPort.h"

namespace zendra {

namespace {
constexpr std::size_t kReadBytes = 256;
// The 256th byte read never takes part in the search.
constexpr std::size_t kSearchedBytes = 255;

constexpr const char* kInvalidFile = "ERROR: The firmware file is invalid.";
constexpr const char* kWrongModel = "ERROR: The firmware file does not match with current device.";

std::string WrongLine(int rate) {
  return "ERROR: Please change the baudrate to " + std::to_string(rate) +
         " and flow control to 'none'.";
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
}  // namespace

std::string MismatchDetail(const std::string& imageModel, const std::string& productName) {
  const std::string image =
      imageModel.empty() ? "The image carries none of the known model codes"
                         : "The image is built for " + imageModel;
  return image + "; the module is " + (productName.empty() ? "of no known product" : productName) +
         ".";
}

std::optional<std::string> FindImageModel(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  char bytes[kReadBytes];
  const std::size_t n = std::fread(bytes, 1, sizeof bytes, file.get());
  if (n == 0) return std::nullopt;

  std::string text(bytes, n < kSearchedBytes ? n : kSearchedBytes);
  // A code behind NUL bytes must still be found, and a NUL inside the text
  // must not end the search early.
  for (char& c : text) {
    if (c == '\0') c = ' ';
  }
  for (const std::string_view code : kModelTable) {
    if (text.find(code) != std::string::npos) return std::string(code);
  }
  return std::string();
}

bool IsTextFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return false;
  PlainTextScan scan;
  std::string piece(64 * 1024, '\0');
  for (;;) {
    const std::size_t n = std::fread(piece.data(), 1, piece.size(), file.get());
    if (n == 0) break;
    // An image shows itself binary within its first bytes; a text file is read whole.
    if (!scan.Feed(std::string_view(piece.data(), n))) return false;
  }
  if (std::ferror(file.get())) return false;
  return scan.AllText();
}

bool CheckImageIsBinary(const std::string& path, Operator& op) {
  if (!IsTextFile(path)) return true;
  op.ShowDetailedMessage(kTextImageMessage,
                         path + " holds only text (letters, digits, punctuation, spaces, line "
                                "ends); a firmware image (.ebl) is a binary file.");
  return false;
}

bool ReadImageModel(const std::string& path, std::string& imageModel) {
  const auto model = FindImageModel(path);
  if (!model) return false;
  imageModel = *model;
  return true;
}

bool CheckLocalUpdate(const Connection& connection, const std::string& path,
                      std::string& imageModel, Operator& op, int bootloaderRate) {
  return CheckLocalUpdate(connection.Settings(), connection.Device().productName, path, imageModel,
                          op, bootloaderRate);
}

bool CheckLocalUpdate(const LineSettings& line, const std::string& productName,
                      const std::string& path, std::string& imageModel, Operator& op,
                      int bootloaderRate) {
  // The bootloader talks at its own rate without flow control whatever the
  // firmware's own rate is; the line must already run that way.
  if (line.baudRate != bootloaderRate || line.flowControl != SerialPort::kFlowNone) {
    op.ShowMessage(WrongLine(bootloaderRate));
    return false;
  }
  if (!ReadImageModel(path, imageModel)) {
    op.ShowMessage(kInvalidFile);
    return false;
  }
  // An image without a model code never matches, not even a module whose product
  // query came back as a bare "OK" (an empty name): nothing says it fits.
  if (imageModel.empty() || productName != imageModel) {
    op.ShowDetailedMessage(kWrongModel, MismatchDetail(imageModel, productName));
    return false;
  }
  return CheckImageIsBinary(path, op);
}

}  // namespace zendra
