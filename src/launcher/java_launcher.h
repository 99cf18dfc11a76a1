// The one launcher object of a process: it owns every setting, path, list and handle of the
// run, and is constructed, prepared, run (directly or by the service host) and torn down in
// that fixed order by the entry point.
#pragma once

#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/jre_version.h"
#include "runtime/runtime_choice.h"
#include "support/text.h"

namespace koru {

class JvmExitListener;
struct SingleInstanceBlock;

/// Narrow option strings in the thread's ANSI code page, handed to JNI_CreateJavaVM.
using JvmOptionList = std::vector<std::string>;

class JavaLauncher {
 public:
  /// Sets every member to its initial value and makes this the current launcher.
  JavaLauncher();
  /// Teardown: destroys the JVM (waiting for the program's non-daemon threads), then releases
  /// the single-instance state.
  ~JavaLauncher();
  JavaLauncher(const JavaLauncher&) = delete;
  JavaLauncher& operator=(const JavaLauncher&) = delete;

  /// Command line, settings, single-instance state, working folder, runtime search. False
  /// abandons the launch (the failure has been reported where it happened).
  bool prepare();

  /// Acts on the launch mode; answers the exit status of the run (0, or -1 on failure).
  uint32_t run();

  /// Appends the command-line arguments after the program name to `arguments`.
  void parseCommandLine();

  /// Starts the paired product instead of the JVM; answers its exit code with "Pair Return
  /// Code", else 0 at once.
  uint32_t startPairedProduct();

  /// Makes the executable's folder the current folder.
  void overrideWorkingDirectory();

  /// Fills `jvmLibraryPath` and settles `handOverToPairedProduct`; false when no runtime can be
  /// had (the user cancelled the dialog, or none could be shown).
  bool locateJavaRuntime();

  JvmExitListener* exitListener = nullptr;
  JvmType jvmType = kJvmClient;
  Text jvmLibraryPath;
  JavaVM* javaVm = nullptr;
  JNIEnv* jniEnv = nullptr;
  Text mainClassName;
  JreVersion minimumVersion;
  JreVersion maximumVersion;
  TextList arguments;
  bool serviceMode = false;
  bool omitServiceName = false;
  JvmSource jvmSource;
  VmProvider vmProvider;
  Text productName;
  Text productCode;
  JvmOptionList jvmOptions;
  TextList preferredVersions;
  Text jrePath;
  Text libraryPath;
  SingleInstanceBlock* instanceBlock = nullptr;
  void* instanceMapping = nullptr;
  void* messageThread = nullptr;
  bool firstInstance = false;
  bool singleInstance = false;
  Text outputFile;
  Text errorFile;
  Text systemPath;
  Text cmdText;
  Text pairProduct;
  bool pairReturnCode = false;
  bool failureCheck = false;
  bool overrideWorkingDir = false;
  uint64_t threadStackSize = 0;
  void* instanceReadyEvent = nullptr;
  bool handOverToPairedProduct = false;
  void* createJavaVmEntry = nullptr;
  void* defaultInitArgsEntry = nullptr;
};

/// The process's launcher, set by its constructor; the JVM hooks reach it through this.
extern JavaLauncher* currentLauncher;

/// The exit status of a failed launch: all 32 bits set.
inline constexpr uint32_t kExitFailure = 0xFFFFFFFFu;

}  // namespace koru
