#include "jvm/jvm_host.h"

#include <cstdarg>
#include <vector>

#include "jvm/exception_text.h"
#include "jvm/jni_util.h"
#include "jvm/jvm_exit_listener.h"
#include "jvm/redirect.h"
#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "support/messages.h"

namespace koru {

namespace {

// The JDK 1.1 initialization arguments; current headers no longer declare them, but every JVM
// still fills javaStackSize in them when asked for version 1.1 defaults.
struct JDK1_1InitArgs {
  jint version;
  char** properties;
  jint checkSource;
  jint nativeStackSize;
  jint javaStackSize;
  jint minHeapSize;
  jint maxHeapSize;
  jint verifyMode;
  char* classpath;
  jint(JNICALL* vfprintf)(void* stream, const char* format, va_list arguments);
  void(JNICALL* exit)(jint code);
  void(JNICALL* abort)();
  jint enableClassGC;
  jint enableVerboseGC;
  jint disableAsyncGC;
  jint verbose;
  jboolean debugging;
  jint debugPort;
};

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM** vm, void** env, void* arguments);
using DefaultInitArgsFunction = jint(JNICALL*)(void* arguments);

// The reason line of a failed JNI_CreateJavaVM; empty for a result outside the known ones.
Text creationFailureReason(jint result) {
  switch (result) {
    case JNI_ERR: return loadMessage(kJniReasonUnknown);
    case JNI_EDETACHED: return loadMessage(kJniReasonDetached);
    case JNI_EVERSION: return loadMessage(kJniReasonVersion);
    case JNI_ENOMEM: return loadMessage(kJniReasonNoMemory);
    case JNI_EEXIST: return loadMessage(kJniReasonExists);
    case JNI_EINVAL: return loadMessage(kJniReasonInvalid);
    default: return Text();
  }
}

void redirectAfterCreation(JavaLauncher& launcher, TextView path, StandardStream stream) {
  if (path.empty()) return;
  // A stream that cannot be redirected stays where it was; the JVM still starts.
  if (!redirectStandardStream(launcher, path, stream) && launcher.jniEnv->ExceptionCheck()) {
    launcher.jniEnv->ExceptionDescribe();
  }
}

// Whether the pending exception is the NoSuchMethodError with which JVMs answer a lookup of a
// method the class lacks. The exception stays pending.
bool isPendingNoSuchMethodError(JNIEnv* env) {
  LocalRef<jthrowable> pending(env, env->ExceptionOccurred());
  if (!pending) return false;
  env->ExceptionClear();
  LocalRef<jclass> errorClass(env, env->FindClass("java/lang/NoSuchMethodError"));
  bool matches = errorClass && env->IsInstanceOf(pending.get(), errorClass.get());
  if (!errorClass) env->ExceptionClear();
  env->Throw(pending.get());
  return matches;
}

// Finds the main class and calls main; false on every failure, after reporting it. The caller
// detaches the thread whatever this answers.
bool callMain(JavaLauncher& launcher) {
  JNIEnv* env = launcher.jniEnv;
  LocalRef<jstring> nameString(env, newJavaString(env, launcher.mainClassName));
  if (!nameString) {
    reportFormattedError(loadMessage(kMainClassLoadFailed), {launcher.mainClassName});
    return false;
  }
  const char* name = env->GetStringUTFChars(nameString.get(), nullptr);
  if (name == nullptr) {
    env->ExceptionDescribe();
    return false;
  }
  // FindClass takes the internal name ('/' separators) in modified UTF-8.
  LocalRef<jclass> mainClass(env, env->FindClass(name));
  env->ReleaseStringUTFChars(nameString.get(), name);
  if (!mainClass) {
    env->ExceptionDescribe();
    reportFormattedError(loadMessage(kMainClassNotFound), {launcher.mainClassName});
    return false;
  }
  jmethodID mainMethod = env->GetStaticMethodID(mainClass.get(), "main", "([Ljava/lang/String;)V");
  if (mainMethod == nullptr) {
    if (isPendingNoSuchMethodError(env)) {
      env->ExceptionClear();
      reportError(loadMessage(kMainMethodNotFound));
    } else if (env->ExceptionCheck()) {
      // For instance the class's static initializer failed.
      env->ExceptionDescribe();
    } else {
      reportError(loadMessage(kMainMethodNotFound));
    }
    return false;
  }
  LocalRef<jobjectArray> arguments(env, newJavaStringArray(env, launcher.arguments));
  if (!arguments) {
    env->ExceptionDescribe();
    return false;
  }
  // From here on other threads may call into the JVM: the main class exists.
  if (launcher.instanceReadyEvent != nullptr) signalEvent(launcher.instanceReadyEvent);

  env->CallStaticVoidMethod(mainClass.get(), mainMethod, arguments.get());

  // An uncaught exception alone does not fail the run: the JVM prints it when the thread
  // detaches, as it does for any thread that ends with one.
  LocalRef<jthrowable> thrown(env, env->ExceptionOccurred());
  if (thrown && launcher.failureCheck &&
      stopDecision(launcher, thrown.get(), env) == StopDecision::stop) {
    env->ExceptionDescribe();
    callSystemExit(env);
  }
  return true;
}

}  // namespace

bool loadJvmLibrary(JavaLauncher& launcher) {
  uint32_t error = 0;
  // The JVM library stays loaded for the life of the process.
  void* library = loadLibrary(launcher.jvmLibraryPath, error);
  if (library == nullptr) {
    reportFormattedError(loadMessage(kJvmLibraryLoadFailed), {launcher.jvmLibraryPath, error});
    return false;
  }
  launcher.createJavaVmEntry = libraryEntry(library, "JNI_CreateJavaVM", error);
  if (launcher.createJavaVmEntry == nullptr) {
    reportFormattedError(loadMessage(kWindowsException), {loadMessage(kCreateJavaVmMissing), error});
    return false;
  }
  launcher.defaultInitArgsEntry = libraryEntry(library, "JNI_GetDefaultJavaVMInitArgs", error);
  if (launcher.defaultInitArgsEntry == nullptr) {
    reportFormattedError(loadMessage(kWindowsException), {loadMessage(kCreateJavaVmMissing), error});
    return false;
  }
  return true;
}

uint64_t defaultJavaStackSize(JavaLauncher& launcher) {
  if (launcher.defaultInitArgsEntry == nullptr) return 0;
  JDK1_1InitArgs arguments{};
  arguments.version = JNI_VERSION_1_1;
  // Only the stack size is of interest; the answer says nothing about it.
  reinterpret_cast<DefaultInitArgsFunction>(launcher.defaultInitArgsEntry)(&arguments);
  return arguments.javaStackSize > 0 ? static_cast<uint64_t>(arguments.javaStackSize) : 0;
}

uint32_t runJavaMainThread(JavaLauncher& launcher) {
  if (launcher.threadStackSize == 0) launcher.threadStackSize = defaultJavaStackSize(launcher);
  uint32_t exitCode = 1;
  if (!runThreadAndWait(launcher.threadStackSize, javaMainThreadProc, &launcher, exitCode)) {
    return javaMainThreadProc(&launcher);
  }
  return exitCode;
}

uint32_t javaMainThreadProc(void* launcher) {
  if (launcher == nullptr) return 1;
  JavaLauncher& javaLauncher = *static_cast<JavaLauncher*>(launcher);
  if (!createJvm(javaLauncher)) return 1;
  return invokeMain(javaLauncher) ? 0 : 1;
}

bool createJvm(JavaLauncher& launcher) {
  char abortName[] = "abort";
  char exitName[] = "exit";
  // The option strings stay owned by jvmOptions; only the array is built here.
  std::vector<JavaVMOption> options;
  options.reserve(launcher.jvmOptions.size() + 2);
  for (std::string& option : launcher.jvmOptions) options.push_back({option.data(), nullptr});
  options.push_back({abortName, reinterpret_cast<void*>(&jvmAbortHook)});
  options.push_back({exitName, reinterpret_cast<void*>(&jvmExitHook)});

  JavaVMInitArgs arguments{};
  arguments.version = JNI_VERSION_1_2;
  arguments.nOptions = static_cast<jint>(options.size());
  arguments.options = options.data();
  arguments.ignoreUnrecognized = JNI_FALSE;

  JavaVM* vm = nullptr;
  void* env = nullptr;
  jint result = reinterpret_cast<CreateJavaVmFunction>(launcher.createJavaVmEntry)(&vm, &env, &arguments);
  if (result != JNI_OK) {
    reportFormattedError(loadMessage(kJniExceptionReason),
                         {loadMessage(kCreateJvmFailed), creationFailureReason(result)});
    return false;
  }
  launcher.jniEnv = static_cast<JNIEnv*>(env);
  // A service stop request may be waiting on another thread for the JVM to exist.
  __atomic_store_n(&launcher.javaVm, vm, __ATOMIC_RELEASE);

  redirectAfterCreation(launcher, launcher.outputFile, StandardStream::output);
  redirectAfterCreation(launcher, launcher.errorFile, StandardStream::error);
  return true;
}

bool invokeMain(JavaLauncher& launcher) {
  bool called = callMain(launcher);
  if (launcher.vmProvider.acceptsIbm()) {
    // IBM runtimes must not see the Java main thread detach. Instead this thread ends the JVM
    // itself: DestroyJavaVM on an attached thread waits until the program's other non-daemon
    // threads have ended, as the teardown's call would, so the run ends when the program does
    // rather than never. An exception that main left is printed first, as a detach would print
    // it; the JVM's own end would drop it silently. The teardown then finds no JVM to destroy.
    if (launcher.jniEnv->ExceptionCheck()) launcher.jniEnv->ExceptionDescribe();
    launcher.javaVm->DestroyJavaVM();
    launcher.javaVm = nullptr;
    launcher.jniEnv = nullptr;
    return called;
  }
  // Detach on every path, failures included: a thread that ends while still attached keeps
  // DestroyJavaVM waiting for it forever.
  bool detached = launcher.javaVm->DetachCurrentThread() == JNI_OK;
  launcher.jniEnv = nullptr;
  return called && detached;
}

void JNICALL jvmExitHook(jint code) {
  JavaLauncher* launcher = currentLauncher;
  if (launcher != nullptr && launcher->exitListener != nullptr) launcher->exitListener->onJvmExit(code);
}

void JNICALL jvmAbortHook() {
  JavaLauncher* launcher = currentLauncher;
  if (launcher != nullptr && launcher->exitListener != nullptr) launcher->exitListener->onJvmAbort();
}

}  // namespace koru
