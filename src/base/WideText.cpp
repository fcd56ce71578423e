#include "base/WideText.h"

namespace zendra {

namespace {

std::u8string Bytes(std::string_view utf8) {
  return std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size());
}

std::string Chars(const std::u8string& utf8) {
  return std::string(reinterpret_cast<const char*>(utf8.data()), utf8.size());
}

}  // namespace

std::wstring WideFromUtf8(std::string_view utf8) {
  try {
    return std::filesystem::path(Bytes(utf8)).wstring();
  } catch (const std::exception&) {
    return {};
  }
}

std::string Utf8FromWide(std::wstring_view wide) {
  try {
    return Chars(std::filesystem::path(wide).u8string());
  } catch (const std::exception&) {
    return {};
  }
}

std::string Utf8Path(const std::filesystem::path& path) {
  try {
    return Chars(path.generic_u8string());
  } catch (const std::exception&) {
    return {};
  }
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  try {
    return std::filesystem::path(Bytes(utf8));
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace zendra
