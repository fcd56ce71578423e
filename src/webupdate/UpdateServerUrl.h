#pragma once
// `UpdateServerUrl`: the base URL of the update server's folder, which every
// request of the update checks and downloads continues with a relative name
// ("Configs", "Firmware", a listed file).
//
// Its usual form is "http://" + host + "/download/software/zendra_manager/". The
// configured value may instead be a whole base URL (http:// or https://), for a
// server that publishes the folder elsewhere or over TLS. Where the value comes
// from, first match wins: the programs' `--update-server URL`, the environment
// variable ZENDRA_UPDATE_SERVER, the desktop program's stored setting, and last
// the host compiled in (the CMake cache variable ZENDRA_DEFAULT_UPDATE_HOST).

#include <optional>
#include <string>
#include <string_view>

namespace zendra {

class UpdateServerUrl {
 public:
  static constexpr std::string_view kFolder = "/download/software/zendra_manager/";
  static constexpr const char* kEnvironmentVariable = "ZENDRA_UPDATE_SERVER";

  // The host this build names when nothing is configured.
  static std::string DefaultHost();

  // The base URL a configured value stands for: a host name (with an optional
  // ":port") becomes "http://" + host + kFolder; an http:// or https:// URL is
  // taken as the folder itself, with a trailing "/" added when missing. Blanks
  // around the value are ignored. Empty for a value that is neither: blank,
  // another scheme, or a host with a blank, a control character or a path.
  static std::string FromSetting(std::string_view value);

  // The base URL in force. Each source that is given and not blank decides, in
  // the order above; empty when the deciding value is not usable, so that a
  // mistyped address is reported rather than quietly replaced.
  static std::string Resolve(const std::optional<std::string>& explicitValue,
                             const std::optional<std::string>& storedValue);

  // Where the deciding value came from.
  enum class Source { kCommandLine, kEnvironment, kStored, kBuild };
  struct Choice {
    std::string url;    // empty when `value` is not usable
    std::string value;  // the value as configured
    Source source = Source::kBuild;
  };
  // Resolve, telling which value decided.
  static Choice Choose(const std::optional<std::string>& explicitValue,
                       const std::optional<std::string>& storedValue);
  // Where a value came from, in the operator's words ("--update-server", "the
  // environment variable ZENDRA_UPDATE_SERVER", ...).
  static std::string SourceName(Source source);
  // What the operator is told about an unusable value: the value, where it came
  // from, and what would be usable.
  static std::string UnusableMessage(const Choice& choice);

  // The URL of a name relative to the folder: `base` + `name`, with every byte that
  // cannot stand in a URL path (blanks, controls, '%', '?', '#', non-ASCII)
  // percent-encoded, so that the name reaches the server as the file's name.
  static std::string FileUrl(const std::string& base, std::string_view name);
};

}  // namespace zendra
