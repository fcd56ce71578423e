#pragma once
// How the program reads the single-byte texts it did not write: definition files,
// configuration files and the module's replies (a node name, a version). Files
// written on Linux are UTF-8, files from the Windows tool are in its code page, and
// a module keeps whatever bytes it was given. A text is read as UTF-8 when it is
// valid UTF-8 and as Latin-1 otherwise (each byte the character of the same
// number), which is the closest reading of the code page and never fails.

#include <optional>
#include <string>
#include <string_view>

namespace zendra {

// The characters of `text` when it is valid UTF-8 (shortest forms, no surrogates,
// nothing above U+10FFFF); nullopt otherwise.
std::optional<std::u32string> DecodeUtf8(std::string_view text);

// The characters of a single-byte text, read as above.
std::u32string ReadSingleByteText(std::string_view text);

// The same text in UTF-8 (unchanged when it already is UTF-8), for output that
// must be UTF-8 such as JSON.
std::string SingleByteTextAsUtf8(std::string_view text);

}  // namespace zendra
