#include "jvm/redirect.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/native_seam.h"
#include "platform/platform.h"
#include "platform/scratch_folder_test.h"
#include "support/text.h"

namespace koru {
namespace {

// A scratch folder; base_ is its root without the trailing backslash.
class ParentFolders : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(scratch_.ok()); }

  static bool isFolder(const Text& path) {
    struct stat info;
    return ::stat(seam::nativePath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }
  static bool exists(const Text& path) {
    struct stat info;
    return ::stat(seam::nativePath(path).c_str(), &info) == 0;
  }

  ScratchFolder scratch_{"redirect"};
  const Text base_ = scratch_.folder();
};

// A folder name that no file system accepts, so that creating it fails.
const Text kTooLong(300, u'n');

TEST_F(ParentFolders, CreatesEveryMissingFolderButNotTheFile) {
  // Natively every absolute path begins with a backslash, as paths rooted at the current drive
  // do on Windows: their folders are made from the root, not below the current folder.
  Text path = base_ + u"\\logs\\app\\out.log";
  EXPECT_EQ(createParentFolders(path), 0u);
  EXPECT_TRUE(isFolder(base_ + u"\\logs"));
  EXPECT_TRUE(isFolder(base_ + u"\\logs\\app"));
  EXPECT_FALSE(exists(path));

  // With the folders there, a second call finds nothing to do.
  EXPECT_EQ(createParentFolders(path), 0u);
}

TEST_F(ParentFolders, ExistingFileCreatesNothing) {
  Text path = base_ + u"\\out.log";
  scratch_.write(u"out.log", "old");
  EXPECT_EQ(createParentFolders(path), 0u);
  EXPECT_TRUE(exists(path));
}

TEST_F(ParentFolders, FailureRemovesOnlyFoldersThisCallCreated) {
  // Folders made on the way are taken back, innermost first.
  uint32_t error = createParentFolders(base_ + u"\\made\\deeper\\" + kTooLong + u"\\out.log");
  EXPECT_NE(error, 0u);
  EXPECT_NE(error, kErrorAlreadyExists);
  EXPECT_FALSE(exists(base_ + u"\\made"));

  // A user's empty folder that was there before the call stays, at every depth.
  ASSERT_EQ(::mkdir(seam::nativePath(base_ + u"\\kept").c_str(), 0755), 0);
  EXPECT_NE(createParentFolders(base_ + u"\\kept\\" + kTooLong + u"\\out.log"), 0u);
  EXPECT_TRUE(isFolder(base_ + u"\\kept"));
  EXPECT_NE(createParentFolders(base_ + u"\\kept\\inner\\" + kTooLong + u"\\out.log"), 0u);
  EXPECT_TRUE(isFolder(base_ + u"\\kept"));
  EXPECT_FALSE(exists(base_ + u"\\kept\\inner"));
}

TEST_F(ParentFolders, RelativePathNeverCreatesItsFirstFolder) {
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(seam::nativePath(scratch_.root()).c_str()), 0);

  // logs counts as the root: it is not created, so logs\sub cannot be either.
  EXPECT_NE(createParentFolders(u"logs\\sub\\out.log"), 0u);
  EXPECT_FALSE(exists(base_ + u"\\logs"));
  // A single folder before the file name is the root alone: nothing to create.
  EXPECT_EQ(createParentFolders(u"logs\\out.log"), 0u);
  EXPECT_FALSE(exists(base_ + u"\\logs"));
  // Once the first folder exists, the ones below it are made.
  ASSERT_EQ(::mkdir("logs", 0755), 0);
  EXPECT_EQ(createParentFolders(u"logs\\sub\\deep\\out.log"), 0u);
  EXPECT_TRUE(isFolder(base_ + u"\\logs\\sub\\deep"));

  ASSERT_EQ(chdir(previous), 0);
}

TEST_F(ParentFolders, AbsolutePathExistsOnlyForAbsolutePathsFound) {
  scratch_.write(u"present.txt", "x");
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(seam::nativePath(scratch_.root()).c_str()), 0);

  struct Case {
    Text path;
    bool exists;
  };
  const Case cases[] = {
      {u"", false},
      {base_ + u"\\present.txt", true},
      {base_, true},
      {base_ + u"\\absent.txt", false},
      // Found relative to the current folder, but not an absolute path.
      {u"present.txt", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.path));
    EXPECT_EQ(absolutePathExists(c.path), c.exists);
  }
  ASSERT_EQ(chdir(previous), 0);
}

}  // namespace
}  // namespace koru
