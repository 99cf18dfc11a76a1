// The console entry point: construct, prepare, run (or serve), tear down.
#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "service/service_host.h"
#include "settings/settings_paths.h"
#include "support/failure.h"

namespace {

uint32_t launch(koru::JavaLauncher& launcher, koru::ServiceHost& host,
                koru::ServiceApplication& application) {
  koru::useSystemDefaultThreadLocale();
  if (!launcher.prepare()) return koru::kExitFailure;
  if (!launcher.serviceMode) return launcher.run();

  koru::Text executable;
  if (!koru::modulePath(executable)) return koru::kExitFailure;
  application.launcher = &launcher;
  application.host = &host;
  host.application = &application;
  launcher.exitListener = &application;
  return host.runServiceDispatcher();
}

}  // namespace

int main() {
  koru::installAllocationFailureHandler();
  uint32_t status;
  {
    // The service objects outlive the launcher: its teardown waits in DestroyJavaVM, during
    // which a System.exit still reaches them through the exit hook.
    koru::ServiceApplication application;
    koru::ServiceHost host;
    koru::currentServiceApplication = &application;
    koru::currentServiceHost = &host;
    koru::JavaLauncher launcher;
    status = launch(launcher, host, application);
  }
  return static_cast<int>(status);
}
