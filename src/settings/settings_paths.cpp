#include "settings/settings_paths.h"

#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "support/messages.h"
#include "support/paths.h"

namespace koru {

namespace {

// The characters that cannot stand in a folder name; they are dropped from "Product Name".
constexpr TextView kUnitsNotInFolderNames = u"\\?\"|><:/*";

// The path with the extension of its file name replaced by "ini". Only a "." inside the last
// path component counts: a dotted folder name (C:\x.y\Tool) must not give C:\x.ini. False when
// the file name has no ".".
bool withIniExtension(TextView path, Text& iniPath) {
  size_t dot = path.rfind(u'.');
  if (dot == TextView::npos) return false;
  size_t separator = path.rfind(u'\\');
  if (separator != TextView::npos && dot < separator) return false;
  iniPath = Text(path.substr(0, dot + 1)) + u"ini";
  return true;
}

}  // namespace

bool modulePath(Text& path) {
  Text found;
  uint32_t error = queryModulePath(found);
  if (error != 0) {
    reportFormattedError(loadMessage(kWindowsException), {loadMessage(kModulePathFailed), error});
    return false;
  }
  path = std::move(found);
  return true;
}

bool settingsFilePath(Text& path) {
  Text executable;
  if (!modulePath(executable)) return false;
  return withIniExtension(executable, path);
}

bool pairedSettingsFilePath(const JavaLauncher& launcher, Text& path) {
  if (launcher.pairProduct.empty()) return false;
  return withIniExtension(launcher.pairProduct, path);
}

Text perUserSettingsFilePath(const JavaLauncher& launcher, TextView executablePath,
                             bool createFolders) {
  Text baseName = afterLastBackslash(executablePath);
  size_t dot = baseName.rfind(u'.');
  if (dot != Text::npos) baseName.resize(dot);
  baseName += u".ini";

  // An unset APPDATA leaves the path rooted at the current drive.
  Text path = environmentVariable(u"APPDATA");
  path += u'\\';
  path += withoutUnits(launcher.productName, kUnitsNotInFolderNames);
  // An existing folder is fine, and a folder that cannot be made shows later as a failed write.
  if (createFolders) createFolder(path);
  path += u'\\';
  path += launcher.productCode;
  if (createFolders) createFolder(path);
  path += u'\\';
  path += baseName;
  return path;
}

Text ownPerUserSettingsFilePath(const JavaLauncher& launcher, bool createFolders) {
  Text executable;
  if (!modulePath(executable)) return Text();
  return perUserSettingsFilePath(launcher, executable, createFolders);
}

Text pairedPerUserSettingsFilePath(const JavaLauncher& launcher) {
  if (launcher.pairProduct.empty()) return Text();
  return perUserSettingsFilePath(launcher, launcher.pairProduct, true);
}

}  // namespace koru
