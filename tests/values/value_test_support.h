// SPDX-License-Identifier: MIT
// For the value, conversion and command line tests: readable values in failure messages, and
// environment settings (a time zone, a temporary XDG_CONFIG_HOME) that last as long as the object.
#pragma once

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "resources/labels.h"
#include "values/value.h"

namespace zel {

inline void PrintTo(const Value& value, std::ostream* out) {
  *out << value.className() << " " << value.description();
  if (value.valueClass() == ValueClass::kNumber)
    *out << " (type " << static_cast<int>(value.numberType()) << ")";
}

namespace test {

inline Value number(int32_t n) {
  return Value::numberWithInt(n);
}
inline Value text(std::string s) {
  return Value::stringWithUTF8String(std::move(s));
}

// Sets an environment variable and restores (or unsets) it when destroyed; TZ takes effect.
struct ScopedEnv {
  ScopedEnv(const char* name, const char* value) : name(name) {
    if (const char* before = std::getenv(name))
      previous = before;
    setenv(name, value, 1);
    tzset();
  }
  ~ScopedEnv() {
    previous ? setenv(name, previous->c_str(), 1) : unsetenv(name);
    tzset();
  }
  const char* name;
  std::optional<std::string> previous;
};

// A fresh, empty XDG_CONFIG_HOME for the object's lifetime; removed afterwards.
struct TemporaryConfigHome {
  ~TemporaryConfigHome() { std::filesystem::remove_all(path); }
  // The directory of this client's user defaults in it.
  std::string clientDirectory() const { return path + "/" + std::string(kClientIdentifier); }

  std::string path = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel-config-XXXXXX");
    return mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp failed");
  }();
  ScopedEnv env{"XDG_CONFIG_HOME", path.c_str()};
};

}  // namespace test
}  // namespace zel
