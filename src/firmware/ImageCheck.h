#pragma once
// The checks that precede every firmware update: which model an image was built
// for, and whether the local module may take it over the current line.
//
// An image carries its model code as plain text near its start; the module reports
// the same code as its product name. Only the first 255 bytes of an image are
// searched, NUL bytes counting as spaces, and the model table's order (not the
// position in the file) decides when an image mentions more than one code.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "firmware/MenuBootloader.h"

namespace zendra {

class Connection;
class Operator;
struct LineSettings;

// The six model codes in their order of precedence.
inline constexpr std::array<std::string_view, 6> kModelTable = {"MA11", "MB11", "MC11",
                                                                "MA21", "MB21", "MC21X"};

// The model code found in the image at `path`: the empty text when the image
// carries none; nullopt when the file cannot be opened or holds no byte.
std::optional<std::string> FindImageModel(const std::string& path);

// What the operator is told beyond "does not match": the image's model and the
// module's product.
std::string MismatchDetail(const std::string& imageModel, const std::string& productName);

// Examines the image at `path` and stores its model code (or the empty text) in
// `imageModel` (the page's field of the image last examined). false when the file
// cannot be opened or is empty; the field is then left as it was.
bool ReadImageModel(const std::string& path, std::string& imageModel);

// The message for a file that is text, not a firmware image.
inline constexpr const char* kTextImageMessage = "ERROR: The file is text, not a firmware image.";

// Every byte of the file at `path` is text (PlainTextScan: printable ASCII, TAB,
// LF, CR, well-formed UTF-8). false for a binary file, an empty one and one that
// cannot be read. Reading stops at the first byte that is no text.
bool IsTextFile(const std::string& path);

// The last check before any image is sent (a local update, a reload, a remote
// update), after the model check, so that a file the model check refuses keeps
// that message: a file that is text is no firmware image, whatever model code it
// mentions. Sent, it would be flashed - the module's application erased for it.
// true when the image may go; false after the message (shown by `op`, with the
// path as its detail).
bool CheckImageIsBinary(const std::string& path, Operator& op);

// The checks of the local "Update" button, in order: line at the bootloader's rate
// (`bootloaderRate`) without flow control, a readable image, an image built for
// the connected product, an image that is not text. On false the one message of
// the failing check has been shown by `op` and nothing was sent. `imageModel` is
// rewritten by the image check.
bool CheckLocalUpdate(const LineSettings& line, const std::string& productName,
                      const std::string& path, std::string& imageModel, Operator& op,
                      int bootloaderRate = MenuBootloader::kBaudRate);
// The same for the connection's line settings and local product.
bool CheckLocalUpdate(const Connection& connection, const std::string& path,
                      std::string& imageModel, Operator& op,
                      int bootloaderRate = MenuBootloader::kBaudRate);

}  // namespace zendra
