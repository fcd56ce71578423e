// libFuzzer target: configuration files (.zgb) are outside input (the operator picks
// them; they may come from anywhere). Reads arbitrary bytes as a profile document,
// looks keys up, writes keys and reads them back, and checks what reads and writes
// must always satisfy. Every 64th input also goes through a save and a load.
//
//   cmake --preset fuzz && cmake --build build-fuzz --target profile_file_fuzz
//   ./build-fuzz/bin/profile_file_fuzz -max_total_time=60

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "config/ProfileFile.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool Has(std::string_view text, std::string_view chars) {
  return text.find_first_of(chars) != std::string_view::npos;
}

bool EndsInBlanks(std::string_view text) {
  return !text.empty() && (IsBlank(text.front()) || IsBlank(text.back()));
}

// Names the writer can put into a file so that they read back.
bool WritableSection(std::string_view name) {
  return !Has(name, std::string_view("\n\0", 2)) && !EndsInBlanks(name);
}
bool WritableKey(std::string_view name) {
  return !Has(name, std::string_view("\n\0=", 3)) && !EndsInBlanks(name) && !name.starts_with('[');
}
// Values that read back as written: no line end (a CR is one as much as an LF: a CR
// before a line's LF belongs to its line end, so a lone CR reads back empty), no
// blanks at either end, no enclosing quotes. The exporter writes none of these; a NUL
// byte reads back whole (the uncut read keeps it).
bool WritableValue(std::string_view value) {
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  return !Has(value, "\r\n") && !EndsInBlanks(value) && !quoted;
}

std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

std::string SwapCase(std::string_view text) {
  std::string swapped(text);
  for (char& c : swapped) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
  }
  return swapped;
}

std::string Fold(std::string_view text) {
  std::string folded(text);
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return folded;
}

void CheckRead(const ProfileFile& file, const std::string& section, const std::string& key,
               std::size_t bufferSize, const std::string& defaultText) {
  const auto value = file.Lookup(section, key);
  if (value) Check(!Has(*value, "\n"));
  Check(file.Lookup(SwapCase(section), SwapCase(key)) == value);
  // The buffered read: the uncut value up to its NUL, cut to the buffer.
  const std::string read = file.GetString(section, key, defaultText, bufferSize);
  Check(bufferSize == 0 ? read.empty() : read.size() < bufferSize);
  Check(!Has(read, std::string_view("\0", 1)));
  if (value) Check(read == UpToNul(*value).substr(0, read.size()));
  if (!value) Check(defaultText.starts_with(read));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(32);
  const std::string key = input.ConsumeRandomLengthString(32);
  const std::string value = input.ConsumeRandomLengthString(128);
  const std::string otherSection = input.ConsumeRandomLengthString(32);
  const std::string otherKey = input.ConsumeRandomLengthString(32);
  const auto bufferSize = input.ConsumeIntegralInRange<std::size_t>(0, 130);
  const bool withLineEnd = input.ConsumeBool();
  const std::string text = input.ConsumeRemainingBytesAsString();

  ProfileFile file(text);
  CheckRead(file, section, key, bufferSize, value);
  CheckRead(file, otherSection, otherKey, bufferSize, value);
  for (const char* name : {"Firmware", "0"})
    for (const char* k : {"Version", "Num_of_saves", "Name", "Command"})
      CheckRead(file, name, k, ProfileFile::kDefaultBufferSize, "");

  const auto otherBefore = file.Lookup(otherSection, otherKey);
  const bool sameKey = Fold(section) == Fold(otherSection) && Fold(key) == Fold(otherKey);
  // The exporter's values carry their own CR LF; the reader sees them without it.
  file.SetString(section, key, withLineEnd ? value + "\r\n" : value);
  if (WritableSection(section) && WritableKey(key) && WritableValue(value)) {
    Check(file.Lookup(section, key) == value);
    if (!sameKey) Check(file.Lookup(otherSection, otherKey) == otherBefore);
    if (!withLineEnd) {
      // Writing what is there already changes nothing.
      const std::string written = file.Text();
      file.SetString(section, key, value);
      Check(file.Text() == written);
    }
  }
  CheckRead(file, otherSection, otherKey, bufferSize, value);

  if (std::hash<std::string>{}(text) % 64 == 0) {
    static const std::string path = "/tmp/profile_file_fuzz." + std::to_string(::getpid());
    Check(file.Save(path));
    ProfileFile back;
    Check(back.Load(path));
    Check(back.Text() == file.Text());
    ::unlink(path.c_str());
  }
  return 0;
}
