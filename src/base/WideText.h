#pragma once
// Text at the boundary of the system's API. The program keeps names and text as
// UTF-8; Windows takes them as UTF-16 (wchar_t). The platform files convert
// where they call the system, so that a name with non-ASCII letters arrives whole.

#include <filesystem>
#include <string>
#include <string_view>

namespace zendra {

// UTF-8 -> wide (UTF-16 on Windows). Bytes that are no UTF-8 give an empty string.
std::wstring WideFromUtf8(std::string_view utf8);
// Wide -> UTF-8. Text that is no UTF-16 gives an empty string.
std::string Utf8FromWide(std::wstring_view wide);
// A path as UTF-8 with "/" between the folders, as the program keeps paths.
std::string Utf8Path(const std::filesystem::path& path);
// A path kept as UTF-8 (as Utf8Path gives it), for the file system functions.
std::filesystem::path PathFromUtf8(std::string_view utf8);
// The last component of a path kept as UTF-8, by the system's separators.
std::string Utf8FileName(std::string_view utf8);

}  // namespace zendra
