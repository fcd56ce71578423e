#include "base/WideText.h"

#include "base/SingleByteText.h"

namespace zendra {

namespace {

std::u8string Bytes(std::string_view utf8) {
  return std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size());
}

std::string Chars(const std::u8string& utf8) {
  return std::string(reinterpret_cast<const char*>(utf8.data()), utf8.size());
}

}  // namespace

// The conversions are written out rather than left to the C++ library, which on
// POSIX systems goes through the process's locale (a "C" locale gives nothing).
std::wstring WideFromUtf8(std::string_view utf8) {
  const std::optional<std::u32string> codes = DecodeUtf8(utf8);
  if (!codes) return {};
  std::wstring wide;
  wide.reserve(codes->size());
  for (char32_t code : *codes) {
    if (sizeof(wchar_t) == 2 && code >= 0x10000) {
      code -= 0x10000;
      wide.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<wchar_t>(code));
    }
  }
  return wide;
}

std::string Utf8FromWide(std::wstring_view wide) {
  std::string utf8;
  utf8.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    auto code = static_cast<char32_t>(wide[i]);
    if (sizeof(wchar_t) == 2 && code >= 0xD800 && code <= 0xDBFF) {
      if (i + 1 >= wide.size()) return {};
      const auto low = static_cast<char32_t>(wide[i + 1]);
      if (low < 0xDC00 || low > 0xDFFF) return {};
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if ((code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
      return {};
    }
    if (code < 0x80) {
      utf8.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      utf8.push_back(static_cast<char>(0xC0 | (code >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      utf8.push_back(static_cast<char>(0xE0 | (code >> 12)));
      utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      utf8.push_back(static_cast<char>(0xF0 | (code >> 18)));
      utf8.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      utf8.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return utf8;
}

std::string Utf8Path(const std::filesystem::path& path) {
  try {
    return Chars(path.generic_u8string());
  } catch (const std::exception&) {
    return {};
  }
}

std::string Utf8FileName(std::string_view utf8) { return Utf8Path(PathFromUtf8(utf8).filename()); }

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  try {
    return std::filesystem::path(Bytes(utf8));
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace zendra
