#include "service/service_host.h"

#include "jvm/java_stop.h"
#include "launcher/java_launcher.h"
#include "platform/win/wide.h"

namespace koru {

ServiceHost* currentServiceHost = nullptr;
ServiceApplication* currentServiceApplication = nullptr;

namespace {

constexpr DWORD kAcceptStopAndShutdown = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
constexpr DWORD kStopWaitHint = 3000;

// An own-process service need not name itself.
wchar_t kNoServiceName[] = L"";

void WINAPI serviceControlHandler(DWORD control) {
  ServiceHost& host = *currentServiceHost;
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    host.status.dwWin32ExitCode = 0;
    host.status.dwCheckPoint = 0;
    host.status.dwCurrentState = SERVICE_STOP_PENDING;
    host.status.dwWaitHint = kStopWaitHint;
    // The handler returns at once; the Java side stops on a thread of its own.
    if (SetServiceStatus(host.statusHandle, &host.status)) host.application->requestStop();
    return;
  }
  SetServiceStatus(host.statusHandle, &host.status);
}

void runServiceThread(ServiceHost& host, DWORD argc, wchar_t** argv) {
  host.statusHandle = RegisterServiceCtrlHandlerW(kNoServiceName, serviceControlHandler);
  if (host.statusHandle == nullptr) return;

  // Reported running at once, before the Java program starts.
  host.status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  host.status.dwCurrentState = SERVICE_RUNNING;
  host.status.dwControlsAccepted = kAcceptStopAndShutdown;
  host.status.dwWin32ExitCode = 0;
  host.status.dwServiceSpecificExitCode = 0;
  host.status.dwCheckPoint = 0;
  host.status.dwWaitHint = 0;
  if (!SetServiceStatus(host.statusHandle, &host.status)) return;

  TextList startArguments;
  for (DWORD i = 0; i < argc; ++i) startArguments.push_back(ToText(argv[i]));
  host.application->runService(startArguments);

  host.status.dwCurrentState = SERVICE_STOPPED;
  SetServiceStatus(host.statusHandle, &host.status);
}

void WINAPI serviceMain(DWORD argc, wchar_t** argv) {
  ServiceHost& host = *currentServiceHost;
  runServiceThread(host, argc, argv);
  SetEvent(host.serviceThreadDone.get());
}

DWORD WINAPI stopJavaApplication(void*) {
  ServiceApplication& application = *currentServiceApplication;
  // A stop that arrives while the JVM is still being created waits for it: the program is then
  // asked to stop as soon as it can be. Should the run fail before a JVM exists, the service
  // thread reports the stop and the process ends with this thread.
  while (__atomic_load_n(&application.launcher->javaVm, __ATOMIC_ACQUIRE) == nullptr) Sleep(50);
  callJavaStop(*application.launcher);
  return 0;
}

}  // namespace

uint32_t ServiceHost::runServiceDispatcher() {
  serviceThreadDone.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  SERVICE_TABLE_ENTRYW table[] = {{kNoServiceName, serviceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherW(table)) return GetLastError();
  // The dispatcher returns once the service is reported stopped, which the JVM's exit hook does
  // before the JVM ends the process; only a service thread that has finished lets teardown in.
  if (serviceThreadDone) WaitForSingleObject(serviceThreadDone.get(), INFINITE);
  return 0;
}

bool ServiceHost::reportStopped() {
  status.dwCurrentState = SERVICE_STOPPED;
  return SetServiceStatus(statusHandle, &status) != 0;
}

uint32_t ServiceApplication::runService(const TextList& startArguments) {
  if (!startArguments.empty()) {
    if (!launcher->omitServiceName) launcher->arguments.push_back(startArguments.front());
    launcher->arguments.insert(launcher->arguments.end(), startArguments.begin() + 1,
                               startArguments.end());
  }
  return launcher->run();
}

void ServiceApplication::requestStop() {
  // The stop thread is not waited for; its handle is not kept.
  HANDLE thread = CreateThread(nullptr, 0, stopJavaApplication, nullptr, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

void ServiceApplication::onJvmExit(int32_t) {
  if (host != nullptr) host->reportStopped();
}

void ServiceApplication::onJvmAbort() {
  if (host != nullptr) host->reportStopped();
}

}  // namespace koru
