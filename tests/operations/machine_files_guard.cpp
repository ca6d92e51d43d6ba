// SPDX-License-Identifier: MIT
// Every test of this executable must leave the machine's own identity files as they were: the
// operations write only below a sandbox root.
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string contentsOf(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

class MachineFilesUnchanged : public ::testing::Environment {
 public:
  void SetUp() override {
    for (const char* path : kFiles)
      mBefore[path] = contentsOf(path);
  }
  void TearDown() override {
    for (const char* path : kFiles)
      EXPECT_EQ(contentsOf(path), mBefore[path]) << "the machine's " << path << " changed";
  }

 private:
  static constexpr const char* kFiles[] = {"/etc/group", "/etc/passwd", "/etc/shadow",
                                           "/etc/gshadow"};
  std::map<std::string, std::string> mBefore;
};

[[maybe_unused]] ::testing::Environment* const gGuard =
    ::testing::AddGlobalTestEnvironment(new MachineFilesUnchanged);

}  // namespace
