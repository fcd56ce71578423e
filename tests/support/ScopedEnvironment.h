#pragma once
// Sets (or with nullopt unsets) an environment variable for one test, and puts
// back what was there before.

#include <cstdlib>
#include <optional>
#include <string>

#include "base/WideText.h"

namespace zendra::test {

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(name, value);
  }
  ~ScopedEnvironment() { Set(name_, old_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  // Windows: _wputenv_s takes the text as UTF-16 and keeps the wide and the
  // narrow environment alike; an empty value removes the variable.
  static void Set(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _wputenv_s(WideFromUtf8(name).c_str(), value ? WideFromUtf8(*value).c_str() : L"");
#else
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
#endif
  }

  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace zendra::test
