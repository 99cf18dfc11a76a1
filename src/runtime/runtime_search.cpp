#include "runtime/runtime_search.h"

#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "runtime/java_home.h"
#include "runtime/jre_not_found.h"
#include "runtime/registry_search.h"
#include "settings/launcher_settings.h"
#include "settings/settings_paths.h"
#include "support/paths.h"

namespace koru {

namespace {

// A library named by "JRE Path" or chosen by the user may be a 32-bit one, which only the
// paired product can host; without a paired product the launcher tries it itself.
void settleHandOver(JavaLauncher& launcher) {
  launcher.handOverToPairedProduct =
      !launcher.pairProduct.empty() && isX86Image(launcher.jvmLibraryPath);
}

void writeJrePath(TextView folder, const Text& settingsFile) {
  // An empty name would let the profile functions pick a file of their own.
  if (settingsFile.empty()) return;
  writeProfileString(kSectionRuntime, u"JRE Path", folder, settingsFile);
}

}  // namespace

Text findPrivateJavaHome() {
  Text executable;
  if (!modulePath(executable)) return Text();
  Text folder = folderWithSeparator(executable);
  if (isJavaHome(folder)) return folder;
  Text subfolder = folder + u"jre64\\";
  if (isJavaHome(subfolder)) return subfolder;
  return Text();
}

void storeChosenJrePath(const JavaLauncher& launcher, TextView folder) {
  Text pairedFile;
  if (!pairedSettingsFilePath(launcher, pairedFile)) return;
  if (isWindowsNt() && !launcher.serviceMode) {
    writeJrePath(folder, ownPerUserSettingsFilePath(launcher, true));
    writeJrePath(folder, pairedPerUserSettingsFilePath(launcher));
  } else {
    writeJrePath(folder, pairedFile);
  }
}

bool JavaLauncher::locateJavaRuntime() {
  jvmLibraryPath.clear();
  handOverToPairedProduct = false;
  // Which VM a home offered does not matter to the search itself.
  bool server = false;

  // "JRE Path" names the Java home itself; a relative one stays relative to the current folder.
  if (!jrePath.empty()) {
    jvmLibraryPath = findJvmLibrary(withTrailingBackslash(jrePath), jvmType, server);
    if (!jvmLibraryPath.empty()) {
      settleHandOver(*this);
      return true;
    }
  }

  // A runtime shipped beside the executable is always hosted in this process.
  Text privateHome = findPrivateJavaHome();
  if (!privateHome.empty()) {
    jvmLibraryPath = findJvmLibrary(privateHome, jvmType, server);
    if (!jvmLibraryPath.empty()) return true;
  }

  // The installed runtimes: the native registry view first, then, for a paired product, the
  // 32-bit view, whose runtime the paired product runs (the pass sets the hand-over mark).
  Text registryHome;
  if (searchRegistryRuntimes(*this, false, registryHome) ||
      searchRegistryRuntimes(*this, true, registryHome)) {
    jvmLibraryPath = findJvmLibrary(registryHome, jvmType, server);
    if (!jvmLibraryPath.empty()) return true;
  }

  // Nothing found: the user may pick an installed runtime. Cancel, or a dialog that cannot
  // appear, ends the search without a runtime and writes nothing.
  PickedRuntime picked;
  if (!askForJavaRuntime(jreNotFoundMessage(jvmType, minimumVersion, maximumVersion), jvmType,
                         picked)) {
    return false;
  }
  // The hand-over test also clears a mark the 32-bit registry pass left for a runtime whose
  // home offered no library.
  jvmLibraryPath = picked.jvmLibraryPath;
  settleHandOver(*this);
  storeChosenJrePath(*this, picked.folder);
  return true;
}

}  // namespace koru
