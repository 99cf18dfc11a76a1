#include "settings/launcher_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "launcher/java_launcher.h"
#include "settings/settings_test_folder.h"

namespace koru {
namespace {

constexpr const char* kMainClassLine = "[Java Runtime Environment]\nMain Class=com.example.App\n";
constexpr const char* kMainClassMissingLine = "Error: Main class was not specified in INI file. \n";

class LauncherSettings : public SettingsTestFolder {
 protected:
  /// Reads the launcher's settings from App.ini holding `ini`; the console output is kept in
  /// output_.
  bool read(JavaLauncher& launcher, const std::string& ini) {
    writeFile(u"App.ini", ini);
    ::testing::internal::CaptureStdout();
    bool ok = readLauncherSettings(launcher);
    output_ = ::testing::internal::GetCapturedStdout();
    return ok;
  }

  std::string output_;
};

TEST(IsYes, OnlyYesIgnoringAsciiCase) {
  for (TextView on : {u"Yes", u"YES", u"yes", u"yEs"}) EXPECT_TRUE(isYes(on)) << toUtf8(on);
  for (TextView off : {u"", u"Y", u"No", u"true", u"1", u"Yes ", u" Yes", u"Yess", u"Y\u00C9S"}) {
    EXPECT_FALSE(isYes(off)) << toUtf8(off);
  }
}

TEST_F(LauncherSettings, MainClassDotsBecomeSlashes) {
  JavaLauncher launcher;
  ASSERT_TRUE(read(launcher, kMainClassLine));
  EXPECT_EQ(launcher.mainClassName, u"com/example/App");
  EXPECT_EQ(output_, "");
}

TEST_F(LauncherSettings, EmptyMainClassStopsTheReadAfterTheRuntimeChoice) {
  JavaLauncher launcher;
  EXPECT_FALSE(read(launcher,
                    "[Java Runtime Environment]\nMain Class=\nJVM Type=server\nSystem Path=C:\\s\n"
                    "Library Path=C:\\l\nMinimum Version=1.6\n"
                    "[Application]\nFailure Check=Yes\nOverride WorkingDir=Yes\n"
                    "Pair Product=C:\\p\\App32.exe\nPair Return Code=Yes\n"));
  EXPECT_EQ(output_, kMainClassMissingLine);
  // What comes before "Main Class" is read ...
  EXPECT_EQ(launcher.jvmType, kJvmServer);
  EXPECT_EQ(launcher.minimumVersion, (JreVersion{{1, 6, 0, 0}}));
  // ... and nothing after it.
  EXPECT_EQ(launcher.mainClassName, u"");
  EXPECT_FALSE(launcher.failureCheck);
  EXPECT_FALSE(launcher.overrideWorkingDir);
  EXPECT_EQ(launcher.systemPath, u"");
  EXPECT_EQ(launcher.libraryPath, u"");
  EXPECT_EQ(launcher.pairProduct, u"");
  EXPECT_FALSE(launcher.pairReturnCode);
}

TEST_F(LauncherSettings, MissingSettingsFileReportsTheMainClass) {
  JavaLauncher launcher;
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(readLauncherSettings(launcher));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), kMainClassMissingLine);
  // Every value read empty, so the defaults of an empty setting apply.
  EXPECT_EQ(launcher.maximumVersion, JreVersion::all(0));
  EXPECT_TRUE(launcher.jvmSource.favourJdk && launcher.jvmSource.favourJre &&
              launcher.jvmSource.searchBothKinds);
}

TEST_F(LauncherSettings, UnnamedSettingsFileFailsSilently) {
  seam::setModulePath(path(u"App"));
  JavaLauncher launcher;
  EXPECT_FALSE(read(launcher, kMainClassLine));
  EXPECT_EQ(output_, "");
  EXPECT_EQ(launcher.mainClassName, u"");
}

TEST_F(LauncherSettings, VersionLimits) {
  struct Case {
    const char* ini;
    JreVersion minimum;
    JreVersion maximum;
  };
  const Case cases[] = {
      {"", {}, {}},
      {"Minimum Version=\nMaximum Version=\n", {}, {}},
      {"Minimum Version=any\nMaximum Version=any\n", {}, JreVersion::all(65535)},
      {"Minimum Version=1.6\nMaximum Version=1.7\n", {{1, 6, 0, 0}}, {{1, 7, 65535, 65535}}},
      {"Minimum Version=1.6.0_22\nMaximum Version=10\n",
       {{1, 6, 0, 22}},
       {{10, 65535, 65535, 65535}}},
      // "Any" is no keyword and holds no version.
      {"Minimum Version=Any\nMaximum Version=ANY\n", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    JavaLauncher launcher;
    ASSERT_TRUE(read(launcher, std::string(kMainClassLine) + c.ini));
    EXPECT_EQ(launcher.minimumVersion, c.minimum);
    EXPECT_EQ(launcher.maximumVersion, c.maximum);
  }
}

TEST_F(LauncherSettings, ServiceModeAndOmitServiceName) {
  struct Case {
    const char* ini;
    bool serviceMode;
    bool omitServiceName;
  };
  const Case cases[] = {
      {"Application Type=service\nOmit Service Name=No\n", true, true},
      {"Application Type=service\n", true, false},
      {"Application Type=Service\nOmit Service Name=Yes\n", false, false},
      {"Application Type=console\nOmit Service Name=Yes\n", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    JavaLauncher launcher;
    ASSERT_TRUE(read(launcher, std::string(kMainClassLine) + "[Application]\n" + c.ini));
    EXPECT_EQ(launcher.serviceMode, c.serviceMode);
    EXPECT_EQ(launcher.omitServiceName, c.omitServiceName);
  }
}

TEST_F(LauncherSettings, PreferredVersionsAreSplitUntrimmed) {
  struct Case {
    const char* value;
    TextList versions;
  };
  const Case cases[] = {
      {"", {}},
      {"1.6", {u"1.6"}},
      {"1.6;;1.7;", {u"1.6", u"", u"1.7"}},
      {";1.6 ; 1.7", {u"", u"1.6 ", u" 1.7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    JavaLauncher launcher;
    ASSERT_TRUE(
        read(launcher, std::string(kMainClassLine) + "Preferred versions=" + c.value + "\n"));
    EXPECT_EQ(launcher.preferredVersions, c.versions);
  }
}

TEST_F(LauncherSettings, KeywordsCompareExactly) {
  struct Case {
    const char* ini;
    JvmType jvmType;
    bool favourJdk, favourJre, searchBothKinds;
  };
  const Case cases[] = {
      {"", kJvmClient, true, true, true},
      {"JVM Type=server\nJVM Source=favor_JRE\n", kJvmServer, false, true, true},
      {"JVM Type=favor_server\nJVM Source=favor_JDK\n", kJvmFavorServer, true, false, true},
      {"JVM Type=Server\nJVM Source=only_JRE\n", kJvmClient, false, true, false},
      {"JVM Type=client\nJVM Source=only_JDK\n", kJvmClient, true, false, false},
      {"JVM Type=favor_Server\nJVM Source=favor_jre\n", kJvmClient, false, false, false},
      {"JVM Source=both\n", kJvmClient, false, false, false},
      // A value found only in the append section starts with a blank, so it is no keyword.
      {"[Java Runtime Environment+]\nJVM Type=server\nJVM Source=only_JDK\n", kJvmClient, false,
       false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    JavaLauncher launcher;
    ASSERT_TRUE(read(launcher, std::string(kMainClassLine) + c.ini));
    EXPECT_EQ(launcher.jvmType, c.jvmType);
    EXPECT_EQ(launcher.jvmSource.favourJdk, c.favourJdk);
    EXPECT_EQ(launcher.jvmSource.favourJre, c.favourJre);
    EXPECT_EQ(launcher.jvmSource.searchBothKinds, c.searchBothKinds);
  }
}

TEST_F(LauncherSettings, VmProviderRowsIgnoreCase) {
  using Vendor = VmProvider::Vendor;
  const Vendor both{true, true}, accepted{true, false}, neither{false, false};
  struct Case {
    const char* value;
    Vendor javaSoft, jRockit, ibm;
  };
  const Case cases[] = {
      {"", both, neither, neither},
      {"sun", both, neither, neither},
      {"jrockit", neither, both, neither},
      {"JRockit", neither, both, neither},
      {"IBM", neither, neither, both},
      {"favor_sun", both, accepted, accepted},
      {"Favor_JRockit", accepted, both, accepted},
      {"favor_ibm", accepted, accepted, both},
      {"ANY", accepted, accepted, accepted},
  };
  auto same = [](const Vendor& a, const Vendor& b) {
    return a.accepted == b.accepted && a.favoured == b.favoured;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    JavaLauncher launcher;
    ASSERT_TRUE(read(launcher, std::string(kMainClassLine) + "VM Provider=" + c.value + "\n"));
    EXPECT_TRUE(same(launcher.vmProvider.javaSoft, c.javaSoft));
    EXPECT_TRUE(same(launcher.vmProvider.jRockit, c.jRockit));
    EXPECT_TRUE(same(launcher.vmProvider.ibm, c.ibm));
  }
}

TEST_F(LauncherSettings, YesFlagsAndTexts) {
  JavaLauncher launcher;
  ASSERT_TRUE(read(launcher, std::string(kMainClassLine) +
                                 "System Path=C:\\sys\nLibrary Path=lib;%APPDATA%\\x\n"
                                 "[Application]\nFailure Check=YES\nOverride WorkingDir=yes\n"
                                 "Pair Product=..\\x86\\App32.exe\nPair Return Code=No\n"));
  EXPECT_TRUE(launcher.failureCheck);
  EXPECT_TRUE(launcher.overrideWorkingDir);
  EXPECT_FALSE(launcher.pairReturnCode);
  EXPECT_EQ(launcher.systemPath, u"C:\\sys");
  EXPECT_EQ(launcher.libraryPath, u"lib;%APPDATA%\\x");
  EXPECT_EQ(launcher.pairProduct, u"..\\x86\\App32.exe");

  JavaLauncher other;
  ASSERT_TRUE(read(other, std::string(kMainClassLine) +
                              "[Application]\nFailure Check=true\nPair Return Code=yEs\n"));
  EXPECT_FALSE(other.failureCheck);
  EXPECT_FALSE(other.overrideWorkingDir);
  EXPECT_TRUE(other.pairReturnCode);
}

TEST_F(LauncherSettings, ProductInformationComesFromTheFileAlone) {
  JavaLauncher launcher;
  ASSERT_TRUE(read(launcher, std::string(kMainClassLine) +
                                 "[product information]\nproduct name=My: Tool\n"
                                 "[Product Information+]\nProduct Code={1234}\n"));
  EXPECT_EQ(launcher.productName, u"My: Tool");
  EXPECT_EQ(launcher.productCode, u"");
}

TEST_F(LauncherSettings, JrePathComesFromAnExistingPerUserFileOnNtOutsideServiceMode) {
  const std::string main = std::string(kMainClassLine) + "JRE Path=C:\\main\n" +
                           "[Product Information]\nProduct Name=My: Tool\nProduct Code={1}\n";
  const TextView perUser = u"AppData\\My Tool\\{1}\\App.ini";
  struct Case {
    const char* what;
    bool nt;
    const char* applicationType;
    const char* perUserContent;  // null: no per-user file
    TextView jrePath;
  };
  const Case cases[] = {
      {"per-user value", true, "", "[Java Runtime Environment]\nJRE Path=C:\\mine\n", u"C:\\mine"},
      {"per-user file without the key", true, "", "[Other]\nx=1\n", u""},
      {"per-user append section is not read", true, "",
       "[Java Runtime Environment+]\nJRE Path=C:\\mine\n", u""},
      {"no per-user file", true, "", nullptr, u"C:\\main"},
      {"not NT", false, "", "[Java Runtime Environment]\nJRE Path=C:\\mine\n", u"C:\\main"},
      {"service mode", true, "service", "[Java Runtime Environment]\nJRE Path=C:\\mine\n",
       u"C:\\main"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seam::setWindowsNt(c.nt);
    std::filesystem::remove_all(seam::nativePath(path(u"AppData")));
    if (c.perUserContent) writeFile(perUser, c.perUserContent);
    JavaLauncher launcher;
    ASSERT_TRUE(
        read(launcher, main + "[Application]\nApplication Type=" + c.applicationType + "\n"));
    EXPECT_EQ(launcher.jrePath, c.jrePath);
  }
}

TEST_F(LauncherSettings, JrePathFromTheMainFileIsLayered) {
  JavaLauncher launcher;
  ASSERT_TRUE(
      read(launcher, std::string(kMainClassLine) + "[Java Runtime Environment+]\nJRE Path=jre\n"));
  EXPECT_EQ(launcher.jrePath, u" jre");
}

TEST_F(LauncherSettings, WildcardsInTheProductCodeMatchNoPerUserFile) {
  // A per-user file of another product must not stand in for this one's.
  writeFile(u"AppData\\Tool\\{1}\\App.ini", "[Java Runtime Environment]\nJRE Path=\n");
  JavaLauncher launcher;
  ASSERT_TRUE(read(launcher, std::string(kMainClassLine) + "JRE Path=C:\\main\n" +
                                 "[Product Information]\nProduct Name=Tool\nProduct Code=*\n"));
  EXPECT_EQ(launcher.jrePath, u"C:\\main");
}

}  // namespace
}  // namespace koru
