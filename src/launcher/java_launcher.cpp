#include "launcher/java_launcher.h"

namespace koru {

JavaLauncher* currentLauncher = nullptr;

JavaLauncher::JavaLauncher() { currentLauncher = this; }

JavaLauncher::~JavaLauncher() {
  // DestroyJavaVM returns once the program's last non-daemon thread has ended.
  if (javaVm != nullptr) javaVm->DestroyJavaVM();
  if (currentLauncher == this) currentLauncher = nullptr;
}

}  // namespace koru
