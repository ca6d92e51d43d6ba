// SPDX-License-Identifier: MIT
// octToDec and setPrivileges as root, on real files.
#include <sys/stat.h>

#include <optional>

#include <fmt/format.h>

#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

using ::testing::IsEmpty;

class PrivilegesTest : public OperationsTest {};

struct ConversionCase {
  uint32_t octalLooking;
  uint32_t mode;
  bool octal;
};

TEST_F(PrivilegesTest, OctToDecReadsDecimalDigitsAsOctal) {
  std::vector<std::string> lines;
  for (const ConversionCase& c : std::vector<ConversionCase>{{770, 504, true},
                                                             {755, 493, true},
                                                             {705, 453, true},
                                                             {644, 420, true},
                                                             {4755, 2541, true},
                                                             {10, 8, true},
                                                             {0, 0, true},
                                                             {3777777777, 536870911, true},
                                                             {779, 0, false},
                                                             {128, 0, false},
                                                             {4294967295, 0, false}}) {
    EXPECT_EQ(helper().octToDec(c.octalLooking), c.mode) << c.octalLooking;
    if (!c.octal)
      lines.push_back(fmt::format("octToDec non octal number: {}", c.octalLooking));
  }
  EXPECT_EQ(nsLines(), lines);
}

struct SetCase {
  const char* name;
  mode_t initial;
  uint32_t octalLooking;
  mode_t expected;
  std::vector<std::string> lines;
  bool directory = false;
  friend void PrintTo(const SetCase& c, std::ostream* out) { *out << c.name; }
};

class SetPrivileges : public PrivilegesTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(SetPrivileges, WritesOnlyAValidDifferentMode) {
  if (GetParam().directory)
    makeDirectory(scratch("file"), GetParam().initial, 4243, 4243);
  else
    makeFile(scratch("file"), GetParam().initial, 4243, 4243);
  helper().setPrivileges(GetParam().octalLooking, scratch("file"));
  EXPECT_EQ(statusOf(scratch("file")),
            (ItemStatus{true, 4243, 4243, GetParam().expected, GetParam().directory}));
  EXPECT_THAT(nsLines(), LinesMatch(GetParam().lines));
  EXPECT_THAT(systemLines(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SetPrivileges,
    ::testing::Values(SetCase{"Same", 0755, 755, 0755, {}},
                      SetCase{"Different", 0755, 770, 0770, {}},
                      SetCase{"SetUserId", 0755, 4755, 04755, {}}, SetCase{"Zero", 0644, 0, 0, {}},
                      SetCase{
                          "NotOctalKeepsMode", 0755, 779, 0755, {"octToDec non octal number: 779"}},
                      SetCase{"SetGroupIdOnDirectory", 0755, 2770, 02770, {}, true}),
    caseName<SetCase>);

struct MissingCase {
  const char* name;
  uint32_t octalLooking;
  std::vector<std::string> lines;
  friend void PrintTo(const MissingCase& c, std::ostream* out) { *out << c.name; }
};

class SetPrivilegesOnMissingPath : public PrivilegesTest,
                                   public ::testing::WithParamInterface<MissingCase> {};

TEST_P(SetPrivilegesOnMissingPath, LogsTheReadAndOnlyATriedWrite) {
  helper().setPrivileges(GetParam().octalLooking, scratch("missing"));
  EXPECT_THAT(nsLines(), LinesMatch(GetParam().lines));
  EXPECT_FALSE(statusOf(scratch("missing")).exists);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SetPrivilegesOnMissingPath,
    ::testing::Values(
        MissingCase{"NonZero",
                    770,
                    {"ZelHelper Error getting /.*/missing attributes: /.*/missing: No such file or "
                     "directory",
                     "ZelHelper Error setting /.*/missing privileges: /.*/missing: No such file or "
                     "directory"}},
        MissingCase{"Zero",
                    0,
                    {"ZelHelper Error getting /.*/missing attributes: /.*/missing: No such file or "
                     "directory"}},
        MissingCase{"NotOctal",
                    8,
                    {"ZelHelper Error getting /.*/missing attributes: /.*/missing: No such file or "
                     "directory",
                     "octToDec non octal number: 8"}}),
    caseName<MissingCase>);

TEST_F(PrivilegesTest, FailedWriteIsLoggedAndChangesNothing) {
  makeFile(scratch("file"), 0644);
  {
    ImmutableItem immutable(scratch("file"));
    helper().setPrivileges(770, scratch("file"));
  }
  EXPECT_EQ(statusOf(scratch("file")).mode, 0644u);
  EXPECT_THAT(nsLines(), LinesMatch(std::vector<std::string>{
                             "ZelHelper Error setting /.*/file privileges: /.*/file: Operation not "
                             "permitted"}));
}

}  // namespace
}  // namespace zel::test
