// Where the settings files lie: the main INI beside the executable, the per-user copy under
// APPDATA, and the paired product's files.
#pragma once

#include "support/text.h"

namespace koru {

class JavaLauncher;

/// The full path of the running executable. On failure reports text 202 with text 208 and the
/// system error code, and answers false.
bool modulePath(Text& path);

/// The main settings file: the executable's path up to the last "." of its file name followed
/// by "ini". False when modulePath fails (reported there) or the file name has no "." (no
/// message); a "." in a folder name does not count.
bool settingsFilePath(Text& path);

/// The paired product's settings file, by the same rule applied to "Pair Product"; false when
/// that text is empty or its file name has no ".". A relative text stays relative.
bool pairedSettingsFilePath(const JavaLauncher& launcher, Text& path);

/// APPDATA\<product name without \?"|><:/*>\<product code>\<base name>.ini of an executable
/// path; with `createFolders` the two folders are created (failures ignored).
Text perUserSettingsFilePath(const JavaLauncher& launcher, TextView executablePath,
                             bool createFolders);

/// perUserSettingsFilePath of modulePath; empty when modulePath fails.
Text ownPerUserSettingsFilePath(const JavaLauncher& launcher, bool createFolders);

/// perUserSettingsFilePath of "Pair Product" with folders created; empty when it is empty.
Text pairedPerUserSettingsFilePath(const JavaLauncher& launcher);

}  // namespace koru
