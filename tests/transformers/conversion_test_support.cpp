// SPDX-License-Identifier: MIT
#include "conversion_test_support.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <stdexcept>

#include "resources/labels.h"

namespace zel {

void PrintTo(const Value& value, std::ostream* out) {
  static const char* const kKinds[] = {"nil", "number", "string", "date"};
  *out << kKinds[static_cast<int>(value.valueClass())] << " " << value.description();
  if (value.valueClass() == ValueClass::kNumber)
    *out << " (type " << static_cast<int>(value.numberType()) << ")";
}

namespace test {

ScopedEnv::ScopedEnv(const char* name, const char* value) : mName(name) {
  const char* previous = std::getenv(name);
  mHadPrevious = previous != nullptr;
  if (previous)
    mPrevious = previous;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
  tzset();
}

ScopedEnv::~ScopedEnv() {
  if (mHadPrevious)
    setenv(mName.c_str(), mPrevious.c_str(), 1);
  else
    unsetenv(mName.c_str());
  tzset();
}

namespace {

std::string makeTemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zel-config-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("mkdtemp failed");
  return pattern;
}

}  // namespace

TemporaryConfigHome::TemporaryConfigHome()
    : mPath(makeTemporaryDirectory()), mEnv("XDG_CONFIG_HOME", mPath.c_str()) {}

TemporaryConfigHome::~TemporaryConfigHome() {
  std::error_code ignored;
  std::filesystem::remove_all(mPath, ignored);
}

std::string TemporaryConfigHome::defaultsFile() const {
  return mPath + "/" + std::string(kClientIdentifier) + "/defaults.json";
}

}  // namespace test
}  // namespace zel
