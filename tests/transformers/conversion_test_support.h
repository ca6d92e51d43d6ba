// SPDX-License-Identifier: MIT
// Helpers for the conversion tests: readable values in failure messages, and environment
// settings (a temporary XDG_CONFIG_HOME, a time zone) that last as long as the object.
#pragma once

#include <ostream>
#include <string>

#include "values/value.h"

namespace zel {

// Makes gtest print a Value as its kind and description.
void PrintTo(const Value& value, std::ostream* out);

namespace test {

inline Value number(int32_t n) {
  return Value::numberWithInt(n);
}
inline Value text(std::string s) {
  return Value::stringWithUTF8String(std::move(s));
}

// Sets an environment variable (or unsets it for nullptr) and restores it when destroyed.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string mName;
  std::string mPrevious;
  bool mHadPrevious;
};

// A fresh, empty XDG_CONFIG_HOME for the object's lifetime; removed afterwards.
class TemporaryConfigHome {
 public:
  TemporaryConfigHome();
  ~TemporaryConfigHome();
  const std::string& path() const { return mPath; }
  // The user-defaults file inside it.
  std::string defaultsFile() const;

 private:
  std::string mPath;
  ScopedEnv mEnv;
};

}  // namespace test
}  // namespace zel
