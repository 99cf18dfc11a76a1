#include "jvm/jvm_environment.h"
#include "jvm/jvm_host.h"
#include "jvm/jvm_options.h"
#include "launcher/java_launcher.h"
#include "launcher/single_instance.h"
#include "platform/platform.h"
#include "settings/launcher_settings.h"
#include "settings/settings_paths.h"

namespace koru {

bool JavaLauncher::prepare() {
  parseCommandLine();
  if (!readLauncherSettings(*this)) return false;
  if (!setUpSingleInstance(*this)) return false;
  // A second instance has handed its arguments over: it needs no runtime.
  if (singleInstance && !firstInstance) return true;
  if (overrideWorkingDir) overrideWorkingDirectory();
  return locateJavaRuntime();
}

void JavaLauncher::overrideWorkingDirectory() {
  Text path;
  if (!modulePath(path)) return;
  size_t at = path.rfind(u'\\');
  // A folder at the root of a drive is handed over as the bare drive name (C:).
  if (at != Text::npos && at >= 1) setCurrentFolder(path.substr(0, at));
}

uint32_t JavaLauncher::run() {
  // Only a 32-bit runtime is handed over, to the companion that can host it.
  if (handOverToPairedProduct) return startPairedProduct();
  if (singleInstance && !firstInstance) return waitForFirstInstance(*this);
  prepareEnvironment(*this);
  if (!loadJvmLibrary(*this)) return kExitFailure;
  // A missing class path has been reported; the JVM is still created with the options
  // gathered so far, and a missing main class then ends the run.
  assembleJvmOptions(*this);
  return runJavaMainThread(*this) == 0 ? 0 : kExitFailure;
}

}  // namespace koru
