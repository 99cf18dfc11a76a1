#include "jvm/jvm_options.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

#include "jvm/jvm_environment.h"
#include "launcher/java_launcher.h"
#include "platform/native_seam.h"
#include "platform/scratch_folder_test.h"

namespace koru {
namespace {

// A scratch executable folder F: the module path is F\app.exe and the settings file F\app.ini.
class OptionAssemblyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
    seam::setModulePath(executable());
  }

  void TearDown() override { seam::setModulePath(u"\\opt\\koru\\koru.exe"); }

  Text executable() const { return scratch_.path(u"app.exe"); }

  void writeIni(const std::string& content) const { scratch_.write(u"app.ini", content); }

  void touch(TextView relative) const { scratch_.write(relative, "x"); }

  // Assembles with a class path setting alone and answers the class path option's value.
  std::string classPathFor(const std::string& setting, const std::string& embedded = "") {
    writeIni("[Class Path]\nClass Path=" + setting + "\n[Application]\nEmbedded Jar=" + embedded + "\n");
    JavaLauncher launcher;
    testing::internal::CaptureStdout();
    bool assembled = assembleJvmOptions(launcher);
    std::string output = testing::internal::GetCapturedStdout();
    if (!assembled) return "(failed) " + output;
    EXPECT_EQ(output, "");
    const std::string prefix = "-Djava.class.path=";
    EXPECT_EQ(launcher.jvmOptions[0].substr(0, prefix.size()), prefix);
    return launcher.jvmOptions[0].substr(prefix.size());
  }

  std::string f() const { return toUtf8(scratch_.folder()); }

  ScratchFolder scratch_{"options"};
};

TEST(SplitAtSeparator, KeepsEmptyPiecesButNoneAfterAFinalSeparator) {
  EXPECT_EQ(splitAtSeparator(u"\\a.jar;;\\b.jar", u";"), (TextList{u"\\a.jar", u"", u"\\b.jar"}));
  EXPECT_EQ(splitAtSeparator(u";a;", u";"), (TextList{u"", u"a"}));
  EXPECT_EQ(splitAtSeparator(u"", u";"), TextList{});
  EXPECT_EQ(splitAtSeparator(u"a", u";"), TextList{u"a"});
}

TEST(RemoveQuotes, RemovesClosedPairsAndKeepsLoneQuotes) {
  struct Case {
    TextView text;
    TextView result;
  };
  const Case cases[] = {
      {u"-Dp=\"a b\"", u"-Dp=a b"},
      {u"\"-Dp\"=x", u"-Dp=x"},
      {u"a\"b\"c\"d\"e", u"abcde"},
      {u"-Dp=\"a", u"-Dp=\"a"},
      {u"\"a\"\"b", u"a\"b"},
      {u"\"\"", u""},
      {u"\"\"\"\"", u"\"\""},
      {u"\"a\"\"\"b\"", u"a\"b"},
      {u"x\"", u"x\""},
      {u"plain", u"plain"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    Text text(c.text);
    removeQuotes(text);
    EXPECT_EQ(toUtf8(text), toUtf8(c.result));
  }
}

TEST(SplitVmParameters, CutsAtBlanksOutsideQuotes) {
  struct Case {
    TextView text;
    TextList parameters;
  };
  const Case cases[] = {
      {u"", {}},
      {u"   ", {}},
      {u"-Xmx512m  -Dp=\"a b\" -ea", {u"-Xmx512m", u"-Dp=a b", u"-ea"}},
      {u" -ea", {u"-ea"}},
      {u"-ea   ", {u"-ea"}},
      {u"-Da=\"x y\"z\"u v\" -Db", {u"-Da=x yzu v", u"-Db"}},
      // An unclosed quote groups nothing and stays in the parameter.
      {u"-Da=\"x y", {u"-Da=\"x", u"y"}},
      {u"-Da=x\" -Db", {u"-Da=x\"", u"-Db"}},
      // Two quotes in a row close on the second one, and the first one is content.
      {u"-Da=\"x y\"\" -Db", {u"-Da=x y\"", u"-Db"}},
      {u"-Da=\"x\"\"y z\" -Db", {u"-Da=x\"y", u"z\"", u"-Db"}},
      {u"\"-Dp=a b\"", {u"-Dp=a b"}},
      {u"-Dp=\"\" -Dq", {u"-Dp=", u"-Dq"}},
      {u"a\tb", {u"a\tb"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    TextList parameters;
    uint64_t stackSize = 0;
    splitVmParameters(c.text, parameters, stackSize);
    EXPECT_EQ(parameters, c.parameters);
  }
}

TEST(SplitVmParameters, RewritesMemoryFormsAndTakesTheLastStackSize) {
  seam::setMemory(8ull << 30, 128ull << 40);
  struct Case {
    TextView text;
    TextList parameters;
    uint64_t stackSize;
  };
  const Case cases[] = {
      {u"-Xmx50P -xmx50P", {u"-Xmx4194304K", u"-xmx50P"}, 77},
      {u"-Xss2m", {u"-Xss2m"}, 2097152},
      {u"-Xss1024k -Xmx1g", {u"-Xss1024k", u"-Xmx1g"}, 1048576},
      {u"\"-Xss1048576\"", {u"-Xss1048576"}, 1048576},
      // One percent of 8 GiB: the rewritten kilobytes decide the stack size.
      {u"-Xss1P", {u"-Xss83886K"}, 83886ull * 1024},
      // The last "-Xss" decides, also when it does not read.
      {u"-Xss2m -Xss", {u"-Xss2m", u"-Xss"}, 0},
      {u"-Xss2m -Xss:1m", {u"-Xss2m", u"-Xss:1m"}, 0},
      {u"-XSS2m", {u"-XSS2m"}, 77},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.text));
    TextList parameters;
    uint64_t stackSize = 77;
    splitVmParameters(c.text, parameters, stackSize);
    EXPECT_EQ(parameters, c.parameters);
    EXPECT_EQ(stackSize, c.stackSize);
  }
}

TEST(FindParameterEnd, StartsAtTheGivenIndex) {
  EXPECT_EQ(findParameterEnd(u"ab cd ef", 3), 5u);
  EXPECT_EQ(findParameterEnd(u"ab \"c d\" e", 3), 8u);
  EXPECT_EQ(findParameterEnd(u"ab cd", 3), 5u);
}

TEST(ExpandEnvironment, ReplacesKnownReferencesOnly) {
  setenv("KORU_TEST_APPDIR", "C:\\app", 1);
  unsetenv("KORU_TEST_UNSET");
  Text text = u"%KORU_TEST_APPDIR%\\lib;%KORU_TEST_UNSET%\\x;100%";
  expandEnvironment(text);
  EXPECT_EQ(toUtf8(text), "C:\\app\\lib;%KORU_TEST_UNSET%\\x;100%");
  unsetenv("KORU_TEST_APPDIR");
}

TEST_F(OptionAssemblyTest, ResolvesRelativeAndWildcardPieces) {
  touch(u"lib\\a.jar");
  touch(u"lib\\b.jar");
  touch(u"lib\\notes.txt");
  touch(u"app.jar");
  touch(u"lib\\sub.jar\\inner");  // a folder whose name matches the pattern

  std::string wildcard = classPathFor("\\lib\\*.jar");
  std::vector<std::string> entries;
  for (const Text& piece : splitAtSeparator(fromUtf8(wildcard), u";")) entries.push_back(toUtf8(piece));
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{f() + "\\lib\\a.jar", f() + "\\lib\\b.jar",
                                               f() + "\\lib\\sub.jar"}));
  EXPECT_EQ(wildcard.back(), ';');

  EXPECT_EQ(classPathFor("\\app.jar"), f() + "\\app.jar;");
  // Without the leading backslash the piece still names something inside F, and a piece
  // written with '/' keeps its folder in front of every match.
  EXPECT_EQ(classPathFor("app.jar"), f() + "\\app.jar;");
  EXPECT_EQ(classPathFor("lib/a*.jar"), f() + "\\lib/a.jar;");
  EXPECT_EQ(classPathFor("/lib\\b*"), f() + "/lib\\b.jar;");
  EXPECT_EQ(classPathFor("\\app.jar;\\missing.jar;\\lib\\*.zip"), f() + "\\app.jar;");
  // The empty middle piece searches F itself, which exists.
  touch(u"b.jar");
  EXPECT_EQ(classPathFor("\\app.jar;;\\b.jar"), f() + "\\app.jar;" + f() + ";" + f() + "\\b.jar;");
  // A piece with two leading backslashes is absolute; with '*' it is still searched.
  EXPECT_EQ(classPathFor("\\" + f() + "\\lib\\a*.jar"), "\\" + f() + "\\lib\\a.jar;");
}

TEST_F(OptionAssemblyTest, KeepsAbsolutePiecesUnchecked) {
  EXPECT_EQ(classPathFor("C:\\x\\y.jar"), "C:\\x\\y.jar;");
  EXPECT_EQ(classPathFor("\\\\server\\share\\z.jar;D:"), "\\\\server\\share\\z.jar;D:;");
  setenv("KORU_TEST_APPDIR", "C:\\app", 1);
  EXPECT_EQ(classPathFor("%KORU_TEST_APPDIR%\\lib\\x.jar"), "C:\\app\\lib\\x.jar;");
  unsetenv("KORU_TEST_APPDIR");
  // A one-character piece is relative, and "x" is not beside the executable.
  EXPECT_EQ(classPathFor("C;x"), "(failed) Error: Java Class Path was not specified in INI file. \n");
}

TEST_F(OptionAssemblyTest, PutsTheExecutableOnTheClassPath) {
  Text exe = executable();
  EXPECT_EQ(classPathFor("", "yEs"), toUtf8(exe));
  touch(u"app.jar");
  EXPECT_EQ(classPathFor("\\app.jar", "YES"), f() + "\\app.jar;" + toUtf8(exe));
  EXPECT_EQ(classPathFor("\\app.jar", "no"), f() + "\\app.jar;");
}

TEST_F(OptionAssemblyTest, TakesFileNamesFromTheFileSystemLiterally) {
  setenv("KORU_TEST_VAR", "expanded", 1);
  touch(u"lib\\%KORU_TEST_VAR%.jar");
  EXPECT_EQ(classPathFor("\\lib\\*.jar"), f() + "\\lib\\%KORU_TEST_VAR%.jar;");
  unsetenv("KORU_TEST_VAR");
}

TEST_F(OptionAssemblyTest, ReportsAnEmptyClassPathAndStops) {
  writeIni(
      "[Class Path]\nClass Path=\\missing.jar\n"
      "[Java Runtime Environment]\nVirtual Machine Parameters=-Xss2m -ea\n"
      "[Application]\nOutput File=out.log\nCmd=a b\n");
  JavaLauncher launcher;
  launcher.arguments = {u"first"};
  launcher.jvmOptions = {"-Djava.library.path=x"};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(assembleJvmOptions(launcher));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: Java Class Path was not specified in INI file. \n");
  EXPECT_EQ(launcher.jvmOptions, (JvmOptionList{"-Djava.library.path=x"}));
  EXPECT_EQ(launcher.arguments, TextList{u"first"});
  EXPECT_TRUE(launcher.outputFile.empty());
  EXPECT_TRUE(launcher.cmdText.empty());
  EXPECT_EQ(launcher.threadStackSize, 0u);
}

TEST_F(OptionAssemblyTest, StopsSilentlyWithoutASettingsFile) {
  seam::setModulePath(scratch_.path(u"app"));  // no '.', so no settings file name
  JavaLauncher launcher;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(assembleJvmOptions(launcher));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(launcher.jvmOptions.empty());
}

TEST_F(OptionAssemblyTest, FillsOptionsFilesAndArgumentsInOrder) {
  setenv("KORU_TEST_LOGS", "C:\\logs", 1);
  setenv("KORU_TEST_SIZE", "256m", 1);
  setenv("KORU_TEST_WORD", "w", 1);
  setenv("Path", "P0", 1);
  touch(u"app.jar");
  writeIni(
      "[Class Path]\nClass Path=\\app.jar\n"
      "[Java Runtime Environment]\n"
      "Virtual Machine Parameters=-Xmx%KORU_TEST_SIZE%  -Dp=\"a b\" -Xss1024k -ea\n"
      "[Application]\nEmbedded Jar=no\n"
      "Output File=%KORU_TEST_LOGS%\\out.log\nError File=%KORU_TEST_LOGS%\\err.log\n"
      "Cmd=x \"\" \"b c\" %KORU_TEST_WORD%\n");

  JavaLauncher launcher;
  launcher.arguments = {u"cli"};
  launcher.jvmLibraryPath = u"C:\\J\\bin\\server\\jvm.dll";
  launcher.libraryPath = u"C:\\native";
  prepareEnvironment(launcher);
  ASSERT_TRUE(assembleJvmOptions(launcher));

  EXPECT_EQ(launcher.jvmOptions,
            (JvmOptionList{"-Djava.library.path=C:\\native;" + f() + "\\;.;P0;C:\\J\\lib",
                           "-Djava.class.path=" + f() + "\\app.jar;", "-Xmx256m", "-Dp=a b",
                           "-Xss1024k", "-ea"}));
  EXPECT_EQ(launcher.threadStackSize, 1048576u);
  EXPECT_EQ(toUtf8(launcher.outputFile), "C:\\logs\\out.log");
  EXPECT_EQ(toUtf8(launcher.errorFile), "C:\\logs\\err.log");
  EXPECT_EQ(toUtf8(launcher.cmdText), "x \"\" \"b c\" w");
  EXPECT_EQ(launcher.arguments, (TextList{u"cli", u"x", u"b c", u"w"}));

  for (const char* name : {"KORU_TEST_LOGS", "KORU_TEST_SIZE", "KORU_TEST_WORD", "Path",
                           "KORU_JVM_PATH", "KORU_JVM_HOME"}) {
    unsetenv(name);
  }
}

TEST_F(OptionAssemblyTest, LeavesUnsetFilesAndCmdEmpty) {
  touch(u"app.jar");
  writeIni("[Class Path]\nClass Path=\\app.jar\n");
  JavaLauncher launcher;
  ASSERT_TRUE(assembleJvmOptions(launcher));
  EXPECT_EQ(launcher.jvmOptions, (JvmOptionList{"-Djava.class.path=" + f() + "\\app.jar;"}));
  EXPECT_TRUE(launcher.outputFile.empty());
  EXPECT_TRUE(launcher.errorFile.empty());
  EXPECT_TRUE(launcher.arguments.empty());
  EXPECT_EQ(launcher.threadStackSize, 0u);
}

}  // namespace
}  // namespace koru
