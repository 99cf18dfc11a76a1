// The console entry point: construct, prepare, run, tear down.
#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "support/failure.h"

int main() {
  koru::installAllocationFailureHandler();
  uint32_t status;
  {
    koru::JavaLauncher launcher;
    koru::useSystemDefaultThreadLocale();
    status = launcher.prepare() ? launcher.run() : koru::kExitFailure;
  }
  return static_cast<int>(status);
}
