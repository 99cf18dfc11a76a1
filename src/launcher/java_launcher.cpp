#include "launcher/java_launcher.h"

#include "launcher/single_instance.h"

namespace koru {

JavaLauncher* currentLauncher = nullptr;

JavaLauncher::JavaLauncher() { currentLauncher = this; }

JavaLauncher::~JavaLauncher() {
  // DestroyJavaVM returns once the program's last non-daemon thread has ended.
  if (javaVm != nullptr) javaVm->DestroyJavaVM();
  releaseSingleInstance(*this);
  if (currentLauncher == this) currentLauncher = nullptr;
}

}  // namespace koru
