// SPDX-License-Identifier: MIT
// The user-defaults file written, read and corrupt. (Missing, or a link in the way: `zelhelper
// units`.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/log.h"
#include "tests/values/value_test_support.h"
#include "values/user_defaults.h"

namespace zel::test {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

class Defaults : public testing::Test {
 protected:
  void write(const std::string& contents) {
    std::filesystem::create_directories(mHome.clientDirectory());
    std::ofstream(mFile) << contents;
  }

  TemporaryConfigHome mHome;
  const std::string mFile = mHome.clientDirectory() + "/defaults.json";
  UserDefaults& mDefaults = UserDefaults::standardUserDefaults();
  LogCapture mLog{LogChannel::kNSLog};
};

// The other keys read the same after the write: it kept them.
TEST_F(Defaults, AWriteKeepsTheOtherKeysAndLeavesOnlyThePrivateFile) {
  write(R"({"a": "YES", "b": "true", "c": 2, "d": "1", "e": "no", "f": 0, "g": null, "h": [],
            "metric": true})");
  ASSERT_TRUE(mDefaults.setBool(true, "celsius"));
  ASSERT_TRUE(mDefaults.setBool(false, "metric"));
  for (const char* key : {"a", "b", "c", "d", "celsius"})
    EXPECT_TRUE(mDefaults.boolForKey(key)) << key;
  for (const char* key : {"e", "f", "g", "h", "missing", "metric"})
    EXPECT_FALSE(mDefaults.boolForKey(key)) << key;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(mHome.clientDirectory()), {}), 1);
  struct stat info {};
  ASSERT_EQ(stat(mFile.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(Defaults, ACorruptFileReadsNoIsReportedOnceAndIsNeverOverwritten) {
  for (const char* corrupt : {"{\"celsius\": tru", "[true]"}) {
    write(corrupt);
    EXPECT_FALSE(mDefaults.boolForKey("celsius"));
    EXPECT_FALSE(mDefaults.boolForKey("celsius"));
    EXPECT_FALSE(mDefaults.setBool(true, "celsius"));
    std::ifstream in(mFile);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), corrupt);
  }
  // Once for reading, once for the refused write.
  EXPECT_THAT(mLog.lines(), ElementsAre(HasSubstr("cannot be read"), HasSubstr("not stored")));
}

}  // namespace
}  // namespace zel::test
