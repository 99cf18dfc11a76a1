#include "settings/settings_paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>

#include "launcher/java_launcher.h"
#include "settings/settings_test_folder.h"

namespace koru {
namespace {

using SettingsPaths = SettingsTestFolder;

TEST_F(SettingsPaths, SettingsFileReplacesTheExtensionOfTheFileName) {
  struct Case {
    TextView executable;
    std::optional<Text> settings;
  };
  const Case cases[] = {
      {u"C:\\Apps\\Tool.exe", u"C:\\Apps\\Tool.ini"},
      {u"C:\\Apps\\App.2.exe", u"C:\\Apps\\App.2.ini"},
      {u"C:\\Apps\\Tool.", u"C:\\Apps\\Tool.ini"},
      {u"Tool.exe", u"Tool.ini"},
      {u"C:\\Apps\\Tool", std::nullopt},
      // A dot in a folder name does not make an extension.
      {u"C:\\x.y\\Tool", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.executable));
    seam::setModulePath(Text(c.executable));
    Text path = u"untouched";
    ::testing::internal::CaptureStdout();
    bool named = settingsFilePath(path);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(named, c.settings.has_value());
    if (c.settings) {
      EXPECT_EQ(path, *c.settings);
    }
  }
}

TEST_F(SettingsPaths, ModulePathFailureIsReportedOncePerCall) {
  seam::setModulePath(u"");
  JavaLauncher launcher;
  Text path = u"untouched";
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(modulePath(path));
  EXPECT_FALSE(settingsFilePath(path));
  EXPECT_EQ(ownPerUserSettingsFilePath(launcher, false), u"");
  const std::string line =
      "Error: Windows exception: failed to get the module path (errno = 5).\n \n";
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), line + line + line);
  EXPECT_EQ(path, u"untouched");
}

TEST_F(SettingsPaths, PairedSettingsFileFollowsThePairProductText) {
  struct Case {
    TextView pairProduct;
    std::optional<Text> settings;
  };
  const Case cases[] = {
      {u"", std::nullopt},
      {u"C:\\Apps32\\App.exe", u"C:\\Apps32\\App.ini"},
      {u"..\\x86\\App.exe", u"..\\x86\\App.ini"},
      {u"C:\\Apps32\\App", std::nullopt},
      {u"..\\x86\\App", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.pairProduct));
    JavaLauncher launcher;
    launcher.pairProduct = Text(c.pairProduct);
    Text path;
    EXPECT_EQ(pairedSettingsFilePath(launcher, path), c.settings.has_value());
    if (c.settings) {
      EXPECT_EQ(path, *c.settings);
    }
  }
}

TEST_F(SettingsPaths, PerUserFileLiesUnderAppDataProductAndCode) {
  struct Case {
    TextView executable;
    TextView productName;
    TextView productCode;
    TextView underAppData;
  };
  const Case cases[] = {
      {u"C:\\Apps\\Tool.exe", u"My: Tool", u"{1234}", u"\\My Tool\\{1234}\\Tool.ini"},
      {u"C:\\Apps\\Tool.exe", u"A/B*C", u"1", u"\\ABC\\1\\Tool.ini"},
      {u"C:\\Apps\\Tool.exe", u"\\?\"|><:/*x y.z", u"1", u"\\x y.z\\1\\Tool.ini"},
      // The code is taken as it stands, forbidden characters and all.
      {u"C:\\Apps\\Tool.exe", u"N", u"a:b*", u"\\N\\a:b*\\Tool.ini"},
      {u"D:\\x.y\\App.exe", u"N", u"C", u"\\N\\C\\App.ini"},
      {u"App.2.exe", u"N", u"C", u"\\N\\C\\App.2.ini"},
      {u"D:\\x.y\\Tool", u"N", u"C", u"\\N\\C\\Tool.ini"},
      {u"C:\\Apps\\Tool.exe", u"", u"", u"\\\\\\Tool.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.executable) + " " + toUtf8(c.productName));
    JavaLauncher launcher;
    launcher.productName = Text(c.productName);
    launcher.productCode = Text(c.productCode);
    setenv("APPDATA", "C:\\Users\\u\\AppData\\Roaming", 1);
    EXPECT_EQ(perUserSettingsFilePath(launcher, c.executable, false),
              u"C:\\Users\\u\\AppData\\Roaming" + Text(c.underAppData));
    unsetenv("APPDATA");
    EXPECT_EQ(perUserSettingsFilePath(launcher, c.executable, false), Text(c.underAppData));
  }
}

TEST_F(SettingsPaths, PerUserFoldersAreCreatedOnlyWhenAsked) {
  JavaLauncher launcher;
  launcher.productName = u"My: Tool";
  launcher.productCode = u"{1234}";

  EXPECT_EQ(ownPerUserSettingsFilePath(launcher, false),
            path(u"AppData\\My Tool\\{1234}\\App.ini"));
  EXPECT_FALSE(exists(u"AppData\\My Tool"));

  writeFile(u"AppData\\keep", "");  // APPDATA itself exists, as it does on a real system
  EXPECT_EQ(ownPerUserSettingsFilePath(launcher, true), path(u"AppData\\My Tool\\{1234}\\App.ini"));
  EXPECT_TRUE(exists(u"AppData\\My Tool\\{1234}"));
  EXPECT_FALSE(exists(u"AppData\\My Tool\\{1234}\\App.ini"));

  // Folders that exist already are fine.
  EXPECT_EQ(ownPerUserSettingsFilePath(launcher, true), path(u"AppData\\My Tool\\{1234}\\App.ini"));
}

TEST_F(SettingsPaths, PairedPerUserFileUsesThePairProductAndCreatesItsFolders) {
  JavaLauncher launcher;
  launcher.productName = u"Tool";
  launcher.productCode = u"7";
  writeFile(u"AppData\\keep", "");
  EXPECT_EQ(pairedPerUserSettingsFilePath(launcher), u"");
  EXPECT_FALSE(exists(u"AppData\\Tool"));

  launcher.pairProduct = u"C:\\Apps32\\Tool32.exe";
  EXPECT_EQ(pairedPerUserSettingsFilePath(launcher), path(u"AppData\\Tool\\7\\Tool32.ini"));
  EXPECT_TRUE(exists(u"AppData\\Tool\\7"));
}

}  // namespace
}  // namespace koru
