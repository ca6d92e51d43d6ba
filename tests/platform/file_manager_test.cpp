// SPDX-License-Identifier: MIT
// The one walk of a path and the changes through its descriptors, on real files: where a walk
// stops, which links it follows, and that a change acts on what was walked even when the path
// is swapped afterwards.
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/file_manager.h"
#include "platform/path_walk.h"
#include "tests/platform/items.h"

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
    fs::create_directory_symlink(scratch("dir"), scratch("link"));
    makeDirectory(scratch("rootonly"), 0755);
    fs::create_directory_symlink(scratch("dir"), scratch("rootonly/run"));
    fs::create_directory_symlink("../dir", scratch("rootonly/up"));
    makeDirectory(scratch("groupwritable"), 0775);
    fs::create_directory_symlink(scratch("dir"), scratch("groupwritable/run"));
    fs::create_directory_symlink(scratch("dir"), scratch("rootonly/alices"));
    lchown(scratch("rootonly/alices").c_str(), kAlice.uid, kAlice.gid);
    makeDirectory(scratch("private"), 0700);
    makeDirectory(scratch("private/dir"), 0777);
  }
  SandboxRoot mRoot;
  const FileManager& mFiles = FileManager::defaultManager();
};

struct WalkCase {
  const char* name;
  std::string path;  // below the scratch directory unless it begins with "/"
  uid_t searcher;    // 0: root
  WalkStop stop;
  const char* walked;  // the walked path below the scratch directory, for kComplete
  friend void PrintTo(const WalkCase& c, std::ostream* out) { *out << c.name; }
};

class Walk : public FileManagerTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(Walk, StopsWhereTheRulesSay) {
  std::string path = GetParam().path.starts_with("/") ? GetParam().path : scratch(GetParam().path);
  AccessSubject alice{kAlice.uid, {kAlice.gid}};
  PathWalk walk = walkPath(path, GetParam().searcher == 0 ? nullptr : &alice);
  EXPECT_EQ(walk.stop, GetParam().stop) << walk.error.description;
  if (GetParam().stop == WalkStop::kComplete) {
    EXPECT_EQ(walk.path(), fs::canonical(scratch(GetParam().walked)).string());
  }
}

using enum WalkStop;

INSTANTIATE_TEST_SUITE_P(
    Paths, Walk,
    ::testing::Values(
        WalkCase{"File", "file", 0, kComplete, "file"},
        WalkCase{"Missing", "dir/missing/deeper", 0, kMissing, nullptr},
        WalkCase{"BelowAFile", "file/x", 0, kFailed, nullptr},
        WalkCase{"Nul", std::string("file\0x", 6), 0, kInvalidPath, nullptr},
        WalkCase{"LinkAsItem", "link", 0, kLink, nullptr},
        WalkCase{"RootsLinkInRootOnlyDir", "rootonly/run/inner", 0, kComplete, "dir/inner"},
        WalkCase{"RelativeRootsLink", "rootonly/up/inner", 4242, kComplete, "dir/inner"},
        WalkCase{"RootsLinkInGroupWritableDir", "groupwritable/run/inner", 0, kLink, nullptr},
        WalkCase{"UsersLinkInRootOnlyDir", "rootonly/alices/inner", 0, kLink, nullptr},
        WalkCase{"UnsearchableForRoot", "private/dir", 0, kComplete, "private/dir"},
        WalkCase{"UnsearchableForAlice", "private/dir", 4242, kSearch, nullptr}),
    caseName<WalkCase>);

// Each case swaps the path after the walk; the change still goes to what was walked.
TEST_F(FileManagerTest, ChangeGoesToTheWalkedItem) {
  PathWalk walk = walkPath(scratch("file"), nullptr);
  ASSERT_EQ(walk.stop, WalkStop::kComplete);
  fs::rename(scratch("file"), scratch("moved"));
  makeFile(scratch("file"), 0644);
  FileError error;
  ASSERT_TRUE(mFiles.setAttributes(*walk.item, {4242, 0770}, scratch("file"), &error))
      << error.description;
  EXPECT_EQ(statusOf(scratch("moved")), (ItemStatus{true, 0, 4242, 0770, false}));
  EXPECT_EQ(statusOf(scratch("file")), (ItemStatus{true, 0, 0, 0644, false}));
}

TEST_F(FileManagerTest, NewItemsGoIntoTheWalkedDirectory) {
  PathWalk walk = walkPath(scratch("dir/a/b"), nullptr);
  ASSERT_EQ(walk.stop, WalkStop::kMissing);
  fs::rename(scratch("dir"), scratch("moved"));
  makeDirectory(scratch("dir"), 0755);
  FileError error;
  ASSERT_TRUE(mFiles.createDirectories(walk.directories.back(), {"a", "b"}, {4242, 02770},
                                       scratch("dir"), &error))
      << error.description;
  ASSERT_TRUE(
      mFiles.createFile(walk.directories.back(), "new", {4242, 0770}, scratch("dir/new"), &error))
      << error.description;
  for (const char* made : {"moved/a", "moved/a/b"})
    EXPECT_EQ(statusOf(scratch(made)), (ItemStatus{true, 0, 4242, 02770, true})) << made;
  EXPECT_EQ(statusOf(scratch("moved/new")), (ItemStatus{true, 0, 4242, 0770, false}));
  EXPECT_TRUE(fs::is_empty(scratch("dir")));
  EXPECT_FALSE(mFiles.createFile(walk.directories.back(), "new", {4242, 0770}, "new", &error));
  EXPECT_EQ(error.code, EEXIST);
}

// Without CAP_FSETID the kernel drops the set-group-ID bit of a file whose group the process
// is not in, and says nothing: only reading the mode back shows it.
TEST_F(FileManagerTest, BitTheKernelDroppedIsAFailure) {
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    syscall(SYS_capget, &header, data);
    data[0].effective &= ~(1u << CAP_FSETID);
    if (syscall(SYS_capset, &header, data) != 0)
      _exit(2);
    PathWalk walk = walkPath(scratch("file"), nullptr);
    FileError error;
    bool changed = mFiles.setAttributes(*walk.item, {4242, 02770}, scratch("file"), &error);
    _exit(!changed && error.code == EPERM ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace zel::test
