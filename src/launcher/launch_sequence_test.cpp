#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "launcher/java_launcher.h"
#include "platform/native_seam.h"
#include "platform/scratch_folder_test.h"

namespace koru {
namespace {

// A scratch folder holds the executable; the current folder is restored after each test.
class LaunchSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    char current[PATH_MAX];
    previous_ = getcwd(current, sizeof current);
    seam::setCommandLine(u"App.exe");
  }
  void TearDown() override { EXPECT_EQ(chdir(previous_.c_str()), 0); }

  ScratchFolder scratch_{"launch"};
  std::string previous_;
};

TEST_F(LaunchSequence, WithoutSettingsFileStopsAtTheMainClass) {
  seam::setModulePath(scratch_.path(u"App.exe"));
  JavaLauncher launcher;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(launcher.prepare());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Error: Main class was not specified in INI file. \n");
}

TEST_F(LaunchSequence, WithoutADotInThePathHasNoSettingsFileAndSaysNothing) {
  Text path = scratch_.makeFolder(u"nodot") + u"\\App";
  if (path.find(u'.') != Text::npos) GTEST_SKIP() << "temporary folder holds a dot";
  seam::setModulePath(path);
  JavaLauncher launcher;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(launcher.prepare());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST_F(LaunchSequence, OverrideWorkingDirMovesToTheExecutableFolderBeforeTheSearch) {
  seam::setModulePath(scratch_.path(u"App.exe"));
  scratch_.write(u"App.ini",
                 "[Java Runtime Environment]\nMain Class=a.B\n[Application]\nOverride WorkingDir=yes\n");
  JavaLauncher launcher;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(launcher.prepare());  // no runtime beside it
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  char current[PATH_MAX];
  char expected[PATH_MAX];
  ASSERT_NE(realpath(seam::nativePath(scratch_.root()).c_str(), expected), nullptr);
  EXPECT_STREQ(getcwd(current, sizeof current), expected);
  EXPECT_EQ(launcher.mainClassName, u"a/B");
}

}  // namespace
}  // namespace koru
