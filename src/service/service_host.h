// Running the launcher as an own-process Windows service: the dispatcher, the service thread
// that calls run, and the stop request that calls the main class's static stop().
#pragma once

#include <cstdint>

#include "jvm/jvm_exit_listener.h"
#include "platform/win/unique.h"
#include "platform/win/windows.h"
#include "support/text.h"

namespace koru {

class JavaLauncher;
class ServiceApplication;

/// The service status record and its handle; one per process.
class ServiceHost {
 public:
  /// Hands the entry thread to the service control dispatcher; answers 0 once the service has
  /// stopped, or the system error when the dispatcher cannot connect (started from a console).
  uint32_t runServiceDispatcher();

  /// Sets SERVICE_STOPPED and reports it; whether the report succeeded.
  bool reportStopped();

  SERVICE_STATUS status{};
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  ServiceApplication* application = nullptr;
  /// Set when the service thread is done. A System.exit reports the service stopped from the
  /// exit hook and never sets it: the entry thread keeps waiting while the JVM ends the
  /// process with the program's status, instead of tearing the launcher down under it.
  UniqueHandle serviceThreadDone;
};

/// Runs the Java program for the service and asks it to stop; the JVM's exit and abort hooks
/// report the service stopped before the JVM ends the process.
class ServiceApplication : public JvmExitListener {
 public:
  /// Appends the start arguments (the service name first, unless omitted) and runs the launcher.
  uint32_t runService(const TextList& startArguments);
  /// Starts one stop thread; its handle is not kept.
  void requestStop();
  void onJvmExit(int32_t code) override;
  void onJvmAbort() override;

  ServiceHost* host = nullptr;
  JavaLauncher* launcher = nullptr;
};

extern ServiceHost* currentServiceHost;
extern ServiceApplication* currentServiceApplication;

}  // namespace koru
