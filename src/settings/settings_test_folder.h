// Test fixture of the settings tests: a temporary folder that stands for the executable's
// folder. The module path points at App.exe inside it and APPDATA at its AppData subfolder, so
// real INI files there are read through the native stand-in of the platform seam.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/native_seam.h"
#include "support/text.h"

namespace koru {

class SettingsTestFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/koru-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    native_ = pattern;
    folder_ = replaced(fromUtf8(native_), u'/', u'\\');
    if (const char* appData = std::getenv("APPDATA")) savedAppData_ = appData;
    setenv("APPDATA", toUtf8(path(u"AppData")).c_str(), 1);
    seam::setModulePath(path(u"App.exe"));
    seam::setWindowsNt(true);
  }

  void TearDown() override {
    seam::setModulePath(u"\\opt\\koru\\koru.exe");
    seam::setWindowsNt(true);
    if (savedAppData_) {
      setenv("APPDATA", savedAppData_->c_str(), 1);
    } else {
      unsetenv("APPDATA");
    }
    std::error_code ignored;
    std::filesystem::remove_all(native_, ignored);
  }

  /// A path inside the folder, in the launcher's backslash form.
  Text path(TextView relative) const { return folder_ + u"\\" + Text(relative); }

  /// Writes a UTF-8 file at a path inside the folder, creating its folders.
  void writeFile(TextView relative, const std::string& content) const {
    std::filesystem::path file = seam::nativePath(path(relative));
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
  }

  bool exists(TextView relative) const {
    return std::filesystem::exists(seam::nativePath(path(relative)));
  }

  Text folder_;

 private:
  std::string native_;
  std::optional<std::string> savedAppData_;
};

}  // namespace koru
