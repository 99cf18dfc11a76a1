// The native build has no named kernel objects: every process runs as an ordinary instance.
#include "launcher/java_launcher.h"
#include "launcher/single_instance.h"

namespace koru {

bool openSharedInstance(JavaLauncher& launcher) {
  launcher.singleInstance = false;
  return true;
}

uint32_t waitForFirstInstance(JavaLauncher&) { return 0; }

void releaseSingleInstance(JavaLauncher&) {}

}  // namespace koru
