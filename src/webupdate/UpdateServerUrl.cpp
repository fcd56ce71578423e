#include "webupdate/UpdateServerUrl.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#ifndef ZENDRA_DEFAULT_UPDATE_HOST
#define ZENDRA_DEFAULT_UPDATE_HOST "update.zendra.example"
#endif

namespace zendra {

namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

bool HasBlankOrControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; });
}

}  // namespace

std::string UpdateServerUrl::DefaultHost() { return ZENDRA_DEFAULT_UPDATE_HOST; }

std::string UpdateServerUrl::FromSetting(std::string_view value) {
  value = Trimmed(value);
  if (value.empty() || HasBlankOrControl(value)) return {};
  for (std::string_view scheme : {"http://", "https://"}) {
    if (!StartsWithNoCase(value, scheme)) continue;
    if (value.size() == scheme.size()) return {};  // a scheme without a host
    std::string url(value);
    if (url.back() != '/') url += '/';
    return url;
  }
  // Anything else with a scheme, a path or a query is no host name.
  if (value.find_first_of("/\\?#@") != std::string_view::npos) return {};
  return "http://" + std::string(value) + std::string(kFolder);
}

std::string UpdateServerUrl::Resolve(const std::optional<std::string>& explicitValue,
                                     const std::optional<std::string>& storedValue) {
  return Choose(explicitValue, storedValue).url;
}

UpdateServerUrl::Choice UpdateServerUrl::Choose(const std::optional<std::string>& explicitValue,
                                                const std::optional<std::string>& storedValue) {
  const auto choice = [](std::string value, Source source) {
    std::string url = FromSetting(value);
    return Choice{std::move(url), std::move(value), source};
  };
  if (explicitValue && !Trimmed(*explicitValue).empty())
    return choice(*explicitValue, Source::kCommandLine);
  if (const char* env = std::getenv(kEnvironmentVariable); env && !Trimmed(env).empty())
    return choice(env, Source::kEnvironment);
  if (storedValue && !Trimmed(*storedValue).empty()) return choice(*storedValue, Source::kStored);
  return choice(DefaultHost(), Source::kBuild);
}

std::string UpdateServerUrl::SourceName(Source source) {
  switch (source) {
    case Source::kCommandLine:
      return "--update-server";
    case Source::kEnvironment:
      return std::string("the environment variable ") + kEnvironmentVariable;
    case Source::kStored:
      return "the stored setting \"updateServer\"";
    case Source::kBuild:
      break;
  }
  return "the build (ZENDRA_DEFAULT_UPDATE_HOST)";
}

std::string UpdateServerUrl::UnusableMessage(const Choice& choice) {
  const std::string from = SourceName(choice.source);
  // Control characters of the value are shown as '?': the message is one line.
  std::string value;
  for (const char c : choice.value)
    value += static_cast<unsigned char>(c) < ' ' || c == 0x7f ? '?' : c;
  return "The update server address \"" + value + "\" (from " + from +
         ") is not usable: give a host name with an optional :port (updates.example.com, "
         "10.0.0.7:8080) or the http:// or https:// URL of the update folder.";
}

std::string UpdateServerUrl::FileUrl(const std::string& base, std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = base;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = std::isalnum(byte) ||
                       std::string_view("-._~!$&'()*+,;=:@/").find(c) != std::string_view::npos;
    if (plain && byte < 0x80) {
      url += c;
    } else {
      url += '%';
      url += kHex[byte >> 4];
      url += kHex[byte & 0x0f];
    }
  }
  return url;
}

}  // namespace zendra
