#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>

#include "launcher/java_launcher.h"
#include "platform/native_seam.h"

namespace koru {
namespace {

class LaunchSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/koru-launch-XXXXXX";
    folder_ = mkdtemp(pattern);
    char current[PATH_MAX];
    previous_ = getcwd(current, sizeof current);
    seam::setCommandLine(u"App.exe");
  }
  void TearDown() override {
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    std::system(("rm -rf " + folder_).c_str());
  }
  Text exePath(const std::string& name) const { return replaced(fromUtf8(folder_ + "/" + name), u'/', u'\\'); }
  void writeFile(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ + "/" + name) << content;
  }

  std::string folder_;
  std::string previous_;
};

TEST_F(LaunchSequence, WithoutSettingsFileStopsAtTheMainClass) {
  seam::setModulePath(exePath("App.exe"));
  JavaLauncher launcher;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(launcher.prepare());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Error: Main class was not specified in INI file. \n");
}

TEST_F(LaunchSequence, WithoutADotInThePathHasNoSettingsFileAndSaysNothing) {
  std::system(("mkdir -p " + folder_ + "/nodot").c_str());
  Text path = exePath("nodot/App");
  if (path.find(u'.') != Text::npos) GTEST_SKIP() << "temporary folder holds a dot";
  seam::setModulePath(path);
  JavaLauncher launcher;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(launcher.prepare());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

TEST_F(LaunchSequence, OverrideWorkingDirMovesToTheExecutableFolderBeforeTheSearch) {
  seam::setModulePath(exePath("App.exe"));
  writeFile("App.ini",
            "[Java Runtime Environment]\nMain Class=a.B\n[Application]\nOverride WorkingDir=yes\n");
  JavaLauncher launcher;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(launcher.prepare());  // no runtime beside it
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  char current[PATH_MAX];
  char expected[PATH_MAX];
  ASSERT_NE(realpath(folder_.c_str(), expected), nullptr);
  EXPECT_STREQ(getcwd(current, sizeof current), expected);
  EXPECT_EQ(launcher.mainClassName, u"a/B");
}

}  // namespace
}  // namespace koru
