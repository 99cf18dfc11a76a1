#include "jvm/jvm_environment.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "launcher/java_launcher.h"
#include "platform/native_seam.h"
#include "platform/platform.h"

namespace koru {
namespace {

std::string variable(const char16_t* name) { return toUtf8(environmentVariable(name)); }

class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seam::setModulePath(u"C:\\App\\app.exe");
    setenv("Path", "P0", 1);
    launcher_.jvmLibraryPath = u"C:\\J\\bin\\server\\jvm.dll";
  }
  void TearDown() override {
    seam::setModulePath(u"\\opt\\koru\\koru.exe");
    for (const char* name : {"Path", "KORU_JVM_PATH", "KORU_JVM_HOME", "KORU_TEST_ROOT"}) {
      unsetenv(name);
    }
  }
  JavaLauncher launcher_;
};

TEST(PublishJvmLocation, DerivesTheJavaHomeFromTheLibraryPath) {
  struct Case {
    TextView library;
    const char* home;
    TextView homeFolder;
  };
  const Case cases[] = {
      {u"C:\\J\\bin\\server\\jvm.dll", "C:\\J", u"C:\\J\\"},
      {u"C:\\J\\bin\\client\\jvm.dll", "C:\\J", u"C:\\J\\"},
      {u"C:\\Program Files\\Java\\jre\\bin\\server\\jvm.dll", "C:\\Program Files\\Java\\jre",
       u"C:\\Program Files\\Java\\jre\\"},
      // Fewer backslashes shorten the path only as far as they allow.
      {u"bin\\server\\jvm.dll", "bin", u""},
      {u"jvm.dll", "jvm.dll", u""},
      {u"", "", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.library));
    publishJvmLocation(c.library);
    EXPECT_EQ(variable(u"KORU_JVM_PATH"), toUtf8(c.library));
    EXPECT_EQ(variable(u"KORU_JVM_HOME"), c.home);
    EXPECT_EQ(toUtf8(runtimeHomeFolder(c.library)), toUtf8(c.homeFolder));
  }
  unsetenv("KORU_JVM_PATH");
  unsetenv("KORU_JVM_HOME");
}

TEST_F(EnvironmentTest, ComposesTheLibraryPathAsTheFirstOption) {
  setenv("KORU_TEST_ROOT", "D:\\root", 1);
  struct Case {
    TextView setting;
    const char* value;
  };
  const Case cases[] = {
      {u"C:\\native", "C:\\native;C:\\App\\;.;P0;C:\\J\\lib"},
      {u"C:\\native;", "C:\\native;C:\\App\\;.;P0;C:\\J\\lib"},
      {u"%KORU_TEST_ROOT%\\dll;C:\\x", "D:\\root\\dll;C:\\x;C:\\App\\;.;P0;C:\\J\\lib"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.setting));
    JavaLauncher launcher;
    launcher.jvmLibraryPath = launcher_.jvmLibraryPath;
    launcher.libraryPath = Text(c.setting);
    launcher.jvmOptions = {"-Dother"};
    prepareEnvironment(launcher);
    EXPECT_EQ(toUtf8(launcher.libraryPath), c.value);
    EXPECT_EQ(launcher.jvmOptions, (JvmOptionList{std::string("-Djava.library.path=") + c.value, "-Dother"}));
    setenv("Path", "P0", 1);
  }
}

TEST_F(EnvironmentTest, AddsNoLibraryPathOptionWithoutTheSetting) {
  prepareEnvironment(launcher_);
  EXPECT_TRUE(launcher_.jvmOptions.empty());
  EXPECT_TRUE(launcher_.libraryPath.empty());
  EXPECT_EQ(variable(u"KORU_JVM_PATH"), "C:\\J\\bin\\server\\jvm.dll");
  EXPECT_EQ(variable(u"KORU_JVM_HOME"), "C:\\J");
}

TEST_F(EnvironmentTest, EndsPathWithTheRuntimeBinFolder) {
  setenv("KORU_TEST_ROOT", "C:\\Windows", 1);
  struct Case {
    TextView systemPath;
    const char* path;
  };
  const Case cases[] = {
      {u"", "P0;C:\\J\\bin"},
      {u"C:\\tools", "C:\\tools;P0;C:\\J\\bin"},
      {u"C:\\tools;", "C:\\tools;P0;C:\\J\\bin"},
      {u"%KORU_TEST_ROOT%\\system32", "C:\\Windows\\system32;P0;C:\\J\\bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.systemPath));
    setenv("Path", "P0", 1);
    launcher_.systemPath = Text(c.systemPath);
    prepareEnvironment(launcher_);
    EXPECT_EQ(variable(u"Path"), c.path);
  }
}

TEST_F(EnvironmentTest, PutsThePreviousPathAndRealFoldersInLiterally) {
  // A runtime folder whose name looks like a reference is not expanded.
  setenv("KORU_TEST_ROOT", "expanded", 1);
  setenv("Path", "C:\\a%KORU_TEST_ROOT%b", 1);
  launcher_.jvmLibraryPath = u"C:\\%KORU_TEST_ROOT%\\bin\\server\\jvm.dll";
  launcher_.libraryPath = u"C:\\native";
  prepareEnvironment(launcher_);
  EXPECT_EQ(variable(u"Path"), "C:\\a%KORU_TEST_ROOT%b;C:\\%KORU_TEST_ROOT%\\bin");
  EXPECT_EQ(toUtf8(launcher_.libraryPath),
            "C:\\native;C:\\App\\;.;C:\\a%KORU_TEST_ROOT%b;C:\\%KORU_TEST_ROOT%\\lib");
}

TEST_F(EnvironmentTest, LeavesOutAPathThatIsNotSet) {
  unsetenv("Path");
  launcher_.systemPath = u"C:\\tools";
  launcher_.libraryPath = u"C:\\native";
  prepareEnvironment(launcher_);
  EXPECT_EQ(variable(u"Path"), "C:\\tools;C:\\J\\bin");
  EXPECT_EQ(toUtf8(launcher_.libraryPath), "C:\\native;C:\\App\\;.;C:\\J\\lib");
}

TEST_F(EnvironmentTest, LeavesOutTheExecutableFolderWhenItCannotBeRead) {
  seam::setModulePath(u"");
  launcher_.libraryPath = u"C:\\native";
  testing::internal::CaptureStdout();
  prepareEnvironment(launcher_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: Windows exception: failed to get the module path (errno = 5).\n \n");
  EXPECT_EQ(toUtf8(launcher_.libraryPath), "C:\\native;;.;P0;C:\\J\\lib");
}

}  // namespace
}  // namespace koru
