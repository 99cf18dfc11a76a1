// Test fixture of the settings tests: a scratch folder that stands for the executable's
// folder. The module path points at App.exe inside it and APPDATA at its AppData subfolder, so
// real INI files there are read through the native stand-in of the platform seam.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "platform/native_seam.h"
#include "platform/scratch_folder_test.h"
#include "support/text.h"

namespace koru {

class SettingsTestFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(scratch_.ok());
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
  }

  /// A path inside the folder, in the launcher's backslash form.
  Text path(TextView relative) const { return scratch_.path(relative); }

  /// Writes a UTF-8 file at a path inside the folder, creating its folders.
  void writeFile(TextView relative, const std::string& content) const {
    scratch_.write(relative, content);
  }

  bool exists(TextView relative) const { return scratch_.exists(relative); }

 private:
  ScratchFolder scratch_{"settings"};
  std::optional<std::string> savedAppData_;
};

}  // namespace koru
