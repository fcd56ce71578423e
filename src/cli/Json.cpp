#include "cli/Json.h"

#include <cstdio>

namespace zendra::cli {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  out += "\"";
  return out;
}

JsonObject& JsonObject::Add(std::string_view key, std::string_view value) {
  members_.emplace_back(std::string(key), JsonString(value));
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, long long value) {
  members_.emplace_back(std::string(key), std::to_string(value));
  return *this;
}

JsonObject& JsonObject::Add(std::string_view key, bool value) {
  members_.emplace_back(std::string(key), value ? "true" : "false");
  return *this;
}

JsonObject& JsonObject::AddRaw(std::string_view key, std::string_view json) {
  members_.emplace_back(std::string(key), std::string(json));
  return *this;
}

std::string JsonObject::Str() const {
  std::string out = "{";
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (i) out += ", ";
    out += JsonString(members_[i].first) + ": " + members_[i].second;
  }
  return out + "}";
}

std::string JsonArray(const std::vector<std::string>& jsonValues) {
  std::string out = "[";
  for (std::size_t i = 0; i < jsonValues.size(); ++i) {
    if (i) out += ", ";
    out += jsonValues[i];
  }
  return out + "]";
}

}  // namespace zendra::cli
