// The file manager on real files: existence, creation with attributes, and its refusal to
// follow symbolic links or be redirected after a check.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/file_manager.h"
#include "tests/operations/operations_support.h"

namespace zel::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class FileManagerTest : public OperationsTest {
 protected:
  void SetUp() override {
    makeDirectory(scratch("dir"), 0755);
    makeFile(scratch("dir/inner"), 0644);
    makeFile(scratch("file"), 0644);
    fs::create_directory_symlink(scratch("dir"), scratch("link"));
  }
  const FileManager& mFiles = FileManager::defaultManager();
};

struct ExistenceCase {
  const char* name;
  const char* path;
  bool exists;
  bool isDirectory;
  friend void PrintTo(const ExistenceCase& c, std::ostream* out) { *out << c.name; }
};

class Existence : public FileManagerTest, public ::testing::WithParamInterface<ExistenceCase> {};

TEST_P(Existence, LooksAtTheItemItselfWithoutFollowingLinks) {
  bool isDirectory = !GetParam().isDirectory;
  EXPECT_EQ(mFiles.fileExistsAtPath(scratch(GetParam().path), &isDirectory), GetParam().exists);
  EXPECT_EQ(isDirectory, GetParam().isDirectory);
}

INSTANTIATE_TEST_SUITE_P(Items, Existence,
                         ::testing::Values(ExistenceCase{"Missing", "missing", false, false},
                                           ExistenceCase{"File", "file", true, false},
                                           ExistenceCase{"Directory", "dir", true, true},
                                           ExistenceCase{"LinkItself", "link", true, false},
                                           ExistenceCase{"ThroughLink", "link/inner", false,
                                                         false}),
                         caseName<ExistenceCase>);

struct LinkCase {
  const char* name;
  const char* path;
  std::function<bool(const FileManager&, const std::string&, FileError*)> call;
  friend void PrintTo(const LinkCase& c, std::ostream* out) { *out << c.name; }
};

class NoLinkFollowed : public FileManagerTest, public ::testing::WithParamInterface<LinkCase> {};

TEST_P(NoLinkFollowed, InAnyComponent) {
  std::map<std::string, ItemStatus> before = snapshotOf(scratch("dir"));
  FileError error;
  EXPECT_FALSE(GetParam().call(mFiles, scratch(GetParam().path), &error));
  EXPECT_EQ(error.code, ELOOP);
  EXPECT_THAT(error.description, HasSubstr(scratch("link") + ": is a symbolic link"));
  EXPECT_EQ(snapshotOf(scratch("dir")), before);
}

const FileAttributes kGroupAlice{"alice", 0770};

INSTANTIATE_TEST_SUITE_P(
    Operations, NoLinkFollowed,
    ::testing::Values(
        LinkCase{"ItemAttributesOfLink", "link/inner",
                 [](const FileManager& files, const std::string& path, FileError* error) {
                   return files.attributesOfItemAtPath(path, error).has_value();
                 }},
        LinkCase{"FileSystemAttributesOfLink", "link",
                 [](const FileManager& files, const std::string& path, FileError* error) {
                   return files.attributesOfFileSystemForPath(path, error).has_value();
                 }},
        LinkCase{"SetAttributesOfLink", "link",
                 [](const FileManager& files, const std::string& path, FileError* error) {
                   return files.setAttributes(kGroupAlice, path, error);
                 }},
        LinkCase{"SetAttributesThroughLink", "link/inner",
                 [](const FileManager& files, const std::string& path, FileError* error) {
                   return files.setAttributes(kGroupAlice, path, error);
                 }},
        LinkCase{"CreateFileThroughLink", "link/new",
                 [](const FileManager& files, const std::string& path, FileError* error) {
                   return files.createFileAtPath(path, kGroupAlice, error);
                 }},
        LinkCase{"CreateDirectoryThroughLink", "link/new/deeper",
                 [](const FileManager& files, const std::string& path, FileError* error) {
                   return files.createDirectoryAtPath(path, kGroupAlice, error);
                 }}),
    caseName<LinkCase>);

TEST_F(FileManagerTest, CreateDirectoryGivesEveryMissingParentTheAttributes) {
  FileError error;
  ASSERT_TRUE(mFiles.createDirectoryAtPath(scratch("a/b/c"), kGroupAlice, &error))
      << error.description;
  for (const char* made : {"a", "a/b", "a/b/c"})
    EXPECT_EQ(statusOf(scratch(made)), (ItemStatus{true, 0, 4242, 0770, true})) << made;
  EXPECT_EQ(statusOf(mRoot.scratch()).gid, 0u);
}

TEST_F(FileManagerTest, FileSystemAttributesAreThoseHoldingTheItem) {
  FileError error;
  std::optional<FileSystemAttributes> fileSystem =
      mFiles.attributesOfFileSystemForPath(scratch("file"), &error);
  ASSERT_TRUE(fileSystem.has_value()) << error.description;
  struct stat item {};
  ASSERT_EQ(stat(scratch("file").c_str(), &item), 0);
  EXPECT_EQ(fileSystem->systemNumber, item.st_dev);
  EXPECT_GE(fileSystem->systemSize, fileSystem->systemFreeSize);
  EXPECT_GT(fileSystem->systemSize, 0u);
}

TEST_F(FileManagerTest, CreateFileNeverReplacesAnExistingItem) {
  FileError error;
  EXPECT_FALSE(mFiles.createFileAtPath(scratch("file"), kGroupAlice, &error));
  EXPECT_EQ(error.code, EEXIST);
  EXPECT_EQ(statusOf(scratch("file")), (ItemStatus{true, 0, 0, 0644, false}));
}

TEST_F(FileManagerTest, UnknownGroupNameChangesNothing) {
  FileError error;
  EXPECT_FALSE(mFiles.createDirectoryAtPath(scratch("x/y"), {"no such group", 0770}, &error));
  EXPECT_EQ(error.code, EINVAL);
  EXPECT_FALSE(statusOf(scratch("x")).exists);
}

TEST_F(FileManagerTest, RefusedChangeChangesNothing) {
  auto refuse = [](const ItemAttributes&, const ResolvedAttributes&) {
    return std::optional<std::string>("not here");
  };
  std::map<std::string, ItemStatus> before = snapshotOf(mRoot.scratch());
  FileError error;
  EXPECT_FALSE(mFiles.createDirectoryAtPath(scratch("dir/a/b"), kGroupAlice, &error, refuse));
  EXPECT_TRUE(error.refused);
  EXPECT_EQ(error.description, "not here");
  EXPECT_FALSE(mFiles.createFileAtPath(scratch("dir/new"), kGroupAlice, &error, refuse));
  EXPECT_FALSE(mFiles.setAttributes(kGroupAlice, scratch("file"), &error, refuse));
  EXPECT_EQ(snapshotOf(mRoot.scratch()), before);
}

// The check runs on the opened descriptor; swapping the path afterwards cannot redirect the
// change. Each check below swaps the path before letting the change go ahead.
TEST_F(FileManagerTest, NewItemGoesIntoTheCheckedDirectory) {
  makeDirectory(scratch("elsewhere"), 0755);
  auto swapParent = [this](const ItemAttributes&, const ResolvedAttributes&) {
    fs::rename(scratch("dir"), scratch("moved"));
    fs::create_directory_symlink(scratch("elsewhere"), scratch("dir"));
    return std::optional<std::string>();
  };
  FileError error;
  ASSERT_TRUE(mFiles.createFileAtPath(scratch("dir/new"), kGroupAlice, &error, swapParent))
      << error.description;
  EXPECT_EQ(statusOf(scratch("moved/new")), (ItemStatus{true, 0, 4242, 0770, false}));
  EXPECT_TRUE(fs::is_empty(scratch("elsewhere")));
}

TEST_F(FileManagerTest, ChangeGoesToTheCheckedItem) {
  auto swapItem = [this](const ItemAttributes&, const ResolvedAttributes&) {
    fs::rename(scratch("file"), scratch("moved"));
    makeFile(scratch("file"), 0644);
    return std::optional<std::string>();
  };
  FileError error;
  ASSERT_TRUE(mFiles.setAttributes(kGroupAlice, scratch("file"), &error, swapItem))
      << error.description;
  EXPECT_EQ(statusOf(scratch("moved")), (ItemStatus{true, 0, 4242, 0770, false}));
  EXPECT_EQ(statusOf(scratch("file")), (ItemStatus{true, 0, 0, 0644, false}));
}

}  // namespace
}  // namespace zel::test
