// SPDX-License-Identifier: MIT
// octToDec and setPrivileges as root through the daemon, on real files.
#include <sys/stat.h>

#include <optional>

#include "tests/daemon/daemon_test.h"

namespace zel::test {
namespace {

using PrivilegesTest = DaemonTest;

TEST_F(PrivilegesTest, OctToDecReadsDecimalDigitsAsOctal) {
  const uint32_t octalLooking[] = {770, 4755, 10, 0, 3777777777, 779, 128, 4294967295};
  const uint32_t value[] = {504, 2541, 8, 0, 536870911, 0, 0, 0};
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(helper().octToDec(octalLooking[i]), value[i]) << octalLooking[i];
  EXPECT_THAT(lines(Channel::kNSLog),
              LinesMatch("octToDec non octal number: 779\n.*: 128\n.*: 4294967295"));
}

struct SetCase {
  const char* name;
  mode_t initial;  // of a file; with S_IFDIR of a directory; 0: the path is missing
  uint32_t octalLooking;
  mode_t expected;
  const char* lines = "";  // patterns, one a line
  bool immutable = false;
  friend void PrintTo(const SetCase& c, std::ostream* out) { *out << c.name; }
};

class SetPrivileges : public PrivilegesTest, public ::testing::WithParamInterface<SetCase> {};

// A valid different mode is written, and a failed read or write is logged.
TEST_P(SetPrivileges, WritesOnlyAValidDifferentMode) {
  const SetCase& c = GetParam();
  const std::string item = scratch("item");
  const bool directory = S_ISDIR(c.initial);
  if (c.initial != 0)
    (directory ? makeDirectory : makeFile)(item, c.initial & 07777, kBob.uid, kBob.gid);
  {
    std::optional<ImmutableItem> immutable;
    if (c.immutable)
      immutable.emplace(item);
    helper().setPrivileges(c.octalLooking, item);
  }
  EXPECT_EQ(statusOf(item),
            (c.initial == 0 ? ItemStatus{}
                            : ItemStatus{true, kBob.uid, kBob.gid, c.expected, directory}));
  EXPECT_THAT(lines(Channel::kNSLog), LinesMatch(c.lines));
  EXPECT_THAT(lines(Channel::kSystemLog), ::testing::IsEmpty());
}

#define NOT_THERE "ZelHelper Error getting /.*/item attributes: .*"

INSTANTIATE_TEST_SUITE_P(
    Modes, SetPrivileges,
    ::testing::Values(
        SetCase{"SameIsNotWritten", 0755, 755, 0755, "", true},
        SetCase{"Different", 0755, 770, 0770}, SetCase{"Zero", 0644, 0, 0},
        SetCase{"NotOctalKeepsMode", 0755, 779, 0755, "octToDec non octal number: 779"},
        SetCase{"SetGroupIdOnDirectory", S_IFDIR | 0755, 2770, 02770},
        SetCase{"MissingTriesTheWrite", 0, 770, 0,
                NOT_THERE "\nZelHelper Error setting /.*/item privileges: .*"},
        SetCase{"MissingWithZero", 0, 0, 0, NOT_THERE},
        SetCase{"MissingWithNotOctal", 0, 8, 0, NOT_THERE "\noctToDec non octal number: 8"},
        SetCase{"FailedWrite", 0644, 770, 0644, "ZelHelper Error setting /.*/item privileges: .*",
                true}),
    caseName<SetCase>);

}  // namespace
}  // namespace zel::test
