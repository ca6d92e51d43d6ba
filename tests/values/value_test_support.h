// SPDX-License-Identifier: MIT
// For the value, conversion and command line tests: readable values in failure messages, and
// environment settings (a time zone, a temporary XDG_CONFIG_HOME).
#pragma once

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>

#include "resources/labels.h"
#include "values/value.h"

namespace zel {

inline void PrintTo(const Value& value, std::ostream* out) {
  *out << value.className() << " " << value.description();
}

namespace test {

inline const auto number = [](int32_t n) { return Value::numberWithInt(n); };
inline const auto text = [](std::string s) { return Value::stringWithUTF8String(std::move(s)); };

// Sets a variable for the rest of the test (ctest runs each in its own process); TZ at once.
inline void setEnv(const char* name, const char* value) {
  setenv(name, value, 1);
  tzset();
}

// A fresh, empty XDG_CONFIG_HOME for the object's lifetime; removed afterwards.
struct TemporaryConfigHome {
  TemporaryConfigHome() { setEnv("XDG_CONFIG_HOME", path.c_str()); }
  ~TemporaryConfigHome() { std::filesystem::remove_all(path); }
  std::string clientDirectory() const { return path + "/" + std::string(kClientIdentifier); }

  std::string path = [] {
    std::string pattern = std::filesystem::temp_directory_path() / "zel-config-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp failed");
  }();
};

}  // namespace test
}  // namespace zel
