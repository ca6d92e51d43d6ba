// SPDX-License-Identifier: MIT
// The user-defaults file: kept and corrupt. (A missing one reads no, silently, end to end in
// `zelhelper units`.)
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "conversion_test_support.h"
#include "platform/log.h"
#include "values/user_defaults.h"

namespace zel::test {
namespace {

class Defaults : public testing::Test {
 protected:
  void write(const std::string& contents) {
    std::filesystem::create_directories(std::filesystem::path(mHome.defaultsFile()).parent_path());
    std::ofstream(mHome.defaultsFile()) << contents;
  }
  std::string read() {
    std::stringstream contents;
    contents << std::ifstream(mHome.defaultsFile()).rdbuf();
    return contents.str();
  }

  TemporaryConfigHome mHome;
  UserDefaults& mDefaults = UserDefaults::standardUserDefaults();
  LogCapture mLog{LogChannel::kNSLog};
};

TEST_F(Defaults, AWriteKeepsTheOtherKeysAndLeavesOnlyTheFile) {
  write(R"({"other": [1, "two"], "metric": true})");
  ASSERT_TRUE(mDefaults.setBool(true, "celsius"));
  ASSERT_TRUE(mDefaults.setBool(false, "metric"));
  EXPECT_TRUE(mDefaults.boolForKey("celsius"));
  EXPECT_FALSE(mDefaults.boolForKey("metric"));
  EXPECT_NE(read().find(R"("other": [)"), std::string::npos) << read();
  const auto dir = std::filesystem::path(mHome.defaultsFile()).parent_path();
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  struct stat info {};
  ASSERT_EQ(stat(mHome.defaultsFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(Defaults, ReadsTheUsualSpellingsOfABoolean) {
  write(R"({"a": "YES", "b": "true", "c": 2, "d": "1", "e": "no", "f": 0, "g": null, "h": []})");
  for (const char* key : {"a", "b", "c", "d"})
    EXPECT_TRUE(mDefaults.boolForKey(key)) << key;
  for (const char* key : {"e", "f", "g", "h", "missing"})
    EXPECT_FALSE(mDefaults.boolForKey(key)) << key;
}

TEST_F(Defaults, ACorruptFileReadsNoIsReportedOnceAndIsNeverOverwritten) {
  for (const char* corrupt : {"{\"celsius\": tru", "[true]"}) {
    write(corrupt);
    EXPECT_FALSE(mDefaults.boolForKey("celsius"));
    EXPECT_FALSE(mDefaults.boolForKey("celsius"));
    EXPECT_FALSE(mDefaults.setBool(true, "celsius"));
    EXPECT_EQ(read(), corrupt);
  }
  ASSERT_EQ(mLog.lines().size(), 2u);  // one for reading, one for the refused write
  EXPECT_NE(mLog.lines()[0].find("cannot be read"), std::string::npos) << mLog.lines()[0];
  EXPECT_NE(mLog.lines()[1].find("not stored"), std::string::npos) << mLog.lines()[1];
}

}  // namespace
}  // namespace zel::test
