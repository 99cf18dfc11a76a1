#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
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
  void TearDown() override {
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    seam::setModulePath(u"\\opt\\koru\\koru.exe");
  }

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

TEST_F(LaunchSequence, HandOverStartsTheCompanionInsteadOfTheJvm) {
  // The companion records its arguments and ends with 7; the JVM library does not exist, so a
  // run that tried the JVM would report it.
  Text companion = scratch_.write(u"pair.sh", "#!/bin/sh\necho \"$#\" >> \"$0.args\"\nexit 7\n");
  ASSERT_EQ(chmod(seam::nativePath(companion).c_str(), 0755), 0);
  struct Case {
    bool returnCode;
    uint32_t status;
  };
  for (const Case& c : {Case{false, 0}, Case{true, 7}}) {
    JavaLauncher launcher;
    launcher.arguments = {u"a", u"b"};
    launcher.pairProduct = companion;
    launcher.pairReturnCode = c.returnCode;
    launcher.handOverToPairedProduct = true;
    launcher.jvmLibraryPath = scratch_.path(u"missing\\jvm.dll");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(launcher.run(), c.status);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  }
  // Both runs started the companion, the one not waited for perhaps only just now; neither
  // passed on the launcher's arguments.
  std::vector<std::string> counts;
  for (int attempt = 0; attempt < 100 && counts.size() < 2; ++attempt) {
    if (attempt > 0) usleep(50 * 1000);
    counts.clear();
    std::ifstream recorded(seam::nativePath(companion) + ".args");
    for (std::string line; std::getline(recorded, line);) counts.push_back(line);
  }
  EXPECT_EQ(counts, (std::vector<std::string>{"0", "0"}));
}

}  // namespace
}  // namespace koru
