#pragma once
// Just enough JSON for the command line program's --json output.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zendra::cli {

std::string JsonString(std::string_view text);

// Builds one flat JSON object, keys in insertion order.
class JsonObject {
 public:
  JsonObject& Add(std::string_view key, std::string_view value);
  JsonObject& Add(std::string_view key, const char* value) { return Add(key, std::string_view(value)); }
  JsonObject& Add(std::string_view key, long long value);
  JsonObject& Add(std::string_view key, int value) { return Add(key, static_cast<long long>(value)); }
  JsonObject& Add(std::string_view key, bool value);
  JsonObject& AddRaw(std::string_view key, std::string_view json);
  std::string Str() const;

 private:
  std::vector<std::pair<std::string, std::string>> members_;
};

std::string JsonArray(const std::vector<std::string>& jsonValues);

}  // namespace zendra::cli
