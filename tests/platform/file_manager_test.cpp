// SPDX-License-Identifier: MIT
// The one walk of a path and the changes through its descriptors, on real files: where a walk
// stops, which links it follows, and that a change acts on what was walked even when the path
// is swapped afterwards.
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/file_manager.h"
#include "platform/path_walk.h"
#include "tests/platform/items.h"
#include "tests/support/daemon_harness.h"

namespace zel::test {
namespace {

namespace fs = std::filesystem;

class FileManagerTest : public ::testing::Test {
 protected:
  std::string scratch(const std::string& relative) const {
    return mRoot.scratch() + "/" + relative;
  }
  void SetUp() override {
    makeDirectory(scratch("dir"), 0755);
    makeFile(scratch("dir/inner"), 0644);
    makeFile(scratch("file"), 0644);
    makeDirectory(scratch("rootonly"), 0755);
    makeDirectory(scratch("groupwritable"), 0775);
    for (const char* link : {"link", "rootonly/run", "groupwritable/run", "rootonly/alices"})
      fs::create_directory_symlink(scratch("dir"), scratch(link));
    fs::create_directory_symlink("../dir", scratch("rootonly/up"));
    lchown(scratch("rootonly/alices").c_str(), kAlice.uid, kAlice.gid);
    makeDirectory(scratch("private"), 0700);
    makeDirectory(scratch("private/dir"), 0777);
  }
  SandboxRoot mRoot;
  const FileManager& mFiles = FileManager::defaultManager();
};

// Where a walk by root, or by alice, stops; and what a complete one walked.
TEST_F(FileManagerTest, WalkStopsWhereTheRulesSay) {
  using enum WalkStop;
  struct Case {
    std::string path;  // below the scratch directory
    bool byAlice;
    WalkStop stop;
    const char* walked = nullptr;  // below the scratch directory, for kComplete
  };
  AccessSubject alice{kAlice.uid, {kAlice.gid}};
  for (const Case& c : std::vector<Case>{{"file", false, kComplete, "file"},
                                         {"dir/missing/deeper", false, kMissing},
                                         {"file/x", false, kFailed},
                                         {std::string("file\0x", 6), false, kInvalidPath},
                                         {"link", false, kLink},
                                         {"rootonly/run/inner", false, kComplete, "dir/inner"},
                                         {"rootonly/up/inner", true, kComplete, "dir/inner"},
                                         {"groupwritable/run/inner", false, kLink},
                                         {"rootonly/alices/inner", false, kLink},
                                         {"private/dir", false, kComplete, "private/dir"},
                                         {"private/dir", true, kSearch}}) {
    PathWalk walk = walkPath(scratch(c.path), c.byAlice ? &alice : nullptr);
    EXPECT_EQ(walk.stop, c.stop) << c.path << ": " << walk.error.description;
    if (c.stop == kComplete) {
      EXPECT_EQ(walk.path(), fs::canonical(scratch(c.walked)).string()) << c.path;
    }
  }
}

// Both paths are swapped after the walk; the changes still go to what was walked.
TEST_F(FileManagerTest, ChangesGoToWhatWasWalked) {
  PathWalk file = walkPath(scratch("file"), nullptr);
  PathWalk missing = walkPath(scratch("dir/a/b"), nullptr);
  ASSERT_EQ(file.stop, WalkStop::kComplete);
  ASSERT_EQ(missing.stop, WalkStop::kMissing);
  fs::rename(scratch("file"), scratch("moved"));
  fs::rename(scratch("dir"), scratch("moveddir"));
  makeFile(scratch("file"), 0644);
  makeDirectory(scratch("dir"), 0755);
  FileError error;
  const WalkedItem& parent = missing.directories.back();
  ASSERT_TRUE(mFiles.setAttributes(*file.item, {4242, 0770}, "file", &error)) << error.description;
  ASSERT_TRUE(mFiles.createDirectories(parent, {"a", "b"}, {4242, 02770}, "a", &error))
      << error.description;
  ASSERT_TRUE(mFiles.createFile(parent, "new", {4242, 0770}, "new", &error)) << error.description;
  EXPECT_EQ(statusOf(scratch("moved")), (ItemStatus{true, 0, 4242, 0770, false}));
  EXPECT_EQ(statusOf(scratch("file")), (ItemStatus{true, 0, 0, 0644, false}));
  for (const char* made : {"moveddir/a", "moveddir/a/b"})
    EXPECT_EQ(statusOf(scratch(made)), (ItemStatus{true, 0, 4242, 02770, true})) << made;
  EXPECT_EQ(statusOf(scratch("moveddir/new")), (ItemStatus{true, 0, 4242, 0770, false}));
  EXPECT_TRUE(fs::is_empty(scratch("dir")));
  EXPECT_FALSE(mFiles.createFile(parent, "new", {4242, 0770}, "new", &error));
  EXPECT_EQ(error.code, EEXIST);
}

// An owner outside the item's group loses the set-group-ID bit it asks for, and the kernel says
// nothing: only reading the mode back shows it.
TEST_F(FileManagerTest, BitTheKernelDroppedIsAFailure) {
  makeFile(scratch("alices"), 0644, kAlice.uid, kBob.gid);
  const auto setGroupIdBit = [this] {
    PathWalk walk = walkPath(scratch("alices"), nullptr);
    FileError error;
    const bool set = mFiles.setAttributes(*walk.item, {std::nullopt, 02770}, "alices", &error);
    return !set && error.code == EPERM ? 0 : 1;
  };
  EXPECT_EQ(runAs(kAlice, setGroupIdBit), 0);
}

}  // namespace
}  // namespace zel::test
