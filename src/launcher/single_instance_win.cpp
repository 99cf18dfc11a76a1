// The kernel objects and threads of single-instance mode: the file mapping that holds the shared
// block, the registered hand-over message, the ready event, the first instance's message thread
// with one hand-over thread per second instance, and a second instance's wait for its answer.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <string>

#include "launcher/java_launcher.h"
#include "launcher/single_instance.h"

namespace koru {

namespace {

// The first instance's own copies of what it published in the block: any process of the same
// name may write the block, so the message thread and the teardown never trust it.
DWORD ownMessageThreadId = 0;
UINT ownHandOverMessage = 0;

// Hand-over threads started and not yet ended. While any runs, the teardown leaves the block and
// the ready event to the end of the process instead of pulling them from under it.
std::atomic<int> runningHandOvers{0};

// How long a second instance keeps trying to post its hand-over: the first instance may be
// between creating the block and giving its message thread a queue.
constexpr int kHandOverAttempts = 50;
constexpr DWORD kHandOverRetryMs = 20;
constexpr DWORD kAnswerPollMs = 100;

std::wstring wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

DWORD WINAPI serveSecondInstance(void* parameter) {
  DWORD secondThread = static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
  JavaLauncher& launcher = *currentLauncher;
  // Set just before main is called: the JVM and the main class exist from then on.
  WaitForSingleObject(launcher.instanceReadyEvent, INFINITE);
  // The arguments are read when served, which may be long after the message came.
  TextList handed = readArgumentsFromBlock(*launcher.instanceBlock);
  callSecondaryMain(launcher, handed, [secondThread](jint answer) {
    // The int is sign-extended, so that -1 reaches the second instance as -1.
    PostThreadMessageW(secondThread, ownHandOverMessage,
                       static_cast<WPARAM>(static_cast<intptr_t>(answer)), 0);
  });
  --runningHandOvers;
  return 0;
}

DWORD WINAPI instanceMessageLoop(void*) {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message != ownHandOverMessage) continue;
    uintptr_t secondThread = static_cast<uint32_t>(message.wParam);
    ++runningHandOvers;
    HANDLE thread = CreateThread(nullptr, 0, serveSecondInstance,
                                 reinterpret_cast<void*>(secondThread), 0, nullptr);
    if (thread == nullptr) {
      --runningHandOvers;
    } else {
      CloseHandle(thread);
    }
  }
  return 0;
}

bool startFirstInstance(JavaLauncher& launcher, const Text& objectName) {
  SingleInstanceBlock& block = *launcher.instanceBlock;
  // Without the ready event a hand-over thread could not know when the JVM exists, so the
  // process runs as an ordinary instance, as it does without the other objects.
  launcher.instanceReadyEvent =
      CreateEventW(nullptr, TRUE, FALSE, wide(objectName + u"_upr_evt").c_str());
  if (launcher.instanceReadyEvent == nullptr) return false;
  ownHandOverMessage = RegisterWindowMessageW(wide(objectName).c_str());
  if (ownHandOverMessage == 0) return false;
  block.handOverMessage = ownHandOverMessage;
  block.processId = GetCurrentProcessId();
  launcher.messageThread = CreateThread(nullptr, 0, instanceMessageLoop, &launcher, 0,
                                        &ownMessageThreadId);
  if (launcher.messageThread == nullptr) return false;
  block.messageThreadId = ownMessageThreadId;
  return true;
}

bool handOverToFirstInstance(JavaLauncher& launcher) {
  SingleInstanceBlock& block = *launcher.instanceBlock;
  if (!writeArgumentsToBlock(launcher.arguments, block)) return false;
  // The answer comes as a thread message: this thread needs its queue before it asks.
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
  for (int attempt = 1;; ++attempt) {
    if (PostThreadMessageW(block.messageThreadId, block.handOverMessage, GetCurrentThreadId(), 0)) {
      return true;
    }
    if (attempt == kHandOverAttempts) return false;
    Sleep(kHandOverRetryMs);
  }
}

}  // namespace

bool openSharedInstance(JavaLauncher& launcher) {
  Text objectName = instanceObjectName();
  if (objectName.empty()) {
    launcher.singleInstance = false;
    return true;
  }
  launcher.instanceMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                sizeof(SingleInstanceBlock),
                                                wide(objectName).c_str());
  if (launcher.instanceMapping == nullptr) {
    launcher.singleInstance = false;
    return true;
  }
  launcher.firstInstance = GetLastError() != ERROR_ALREADY_EXISTS;
  launcher.instanceBlock = static_cast<SingleInstanceBlock*>(
      MapViewOfFile(launcher.instanceMapping, FILE_MAP_WRITE, 0, 0, 0));
  if (launcher.instanceBlock == nullptr) {
    launcher.singleInstance = false;
    return true;
  }
  if (launcher.firstInstance) {
    if (!startFirstInstance(launcher, objectName)) launcher.singleInstance = false;
    return true;
  }
  return handOverToFirstInstance(launcher);
}

uint32_t waitForFirstInstance(JavaLauncher& launcher) {
  const SingleInstanceBlock& block = *launcher.instanceBlock;
  HANDLE first = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, block.processId);
  if (first == nullptr) return 0;
  UINT handOverMessage = block.handOverMessage;
  uint32_t answer = 0;
  for (;;) {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) && message.message == handOverMessage) {
      answer = static_cast<uint32_t>(message.wParam);
      break;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(first, &code)) {
      // Neither an answer nor the first instance's status can be had.
      answer = kExitFailure;
      break;
    }
    if (code != STILL_ACTIVE) {
      answer = code;
      break;
    }
    Sleep(kAnswerPollMs);
  }
  CloseHandle(first);
  return answer;
}

void releaseSingleInstance(JavaLauncher& launcher) {
  if (launcher.singleInstance && launcher.firstInstance && launcher.messageThread != nullptr) {
    // The thread may not have its queue yet when the first WM_QUIT is posted.
    do {
      PostThreadMessageW(ownMessageThreadId, WM_QUIT, 0, 0);
    } while (WaitForSingleObject(launcher.messageThread, 10) == WAIT_TIMEOUT);
    CloseHandle(launcher.messageThread);
    launcher.messageThread = nullptr;
  }
  // No new hand-over thread starts now; one still running keeps what it reads.
  if (runningHandOvers != 0) return;
  if (launcher.singleInstance) {
    if (launcher.instanceBlock != nullptr) UnmapViewOfFile(launcher.instanceBlock);
    if (launcher.instanceMapping != nullptr) CloseHandle(launcher.instanceMapping);
    launcher.instanceBlock = nullptr;
    launcher.instanceMapping = nullptr;
  }
  if (launcher.instanceReadyEvent != nullptr) CloseHandle(launcher.instanceReadyEvent);
  launcher.instanceReadyEvent = nullptr;
}

}  // namespace koru
