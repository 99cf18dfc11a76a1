// Loading the JVM library, creating the JVM on the Java main thread and running main.
#pragma once

#include <jni.h>

#include <cstdint>

namespace koru {

class JavaLauncher;

/// Loads jvmLibraryPath (never unloaded) and resolves both entry points; reports text 222 or
/// 202 with 212 and answers false on failure.
bool loadJvmLibrary(JavaLauncher& launcher);

/// Starts the Java main thread with threadStackSize (the JVM's default when 0) and waits for
/// it; answers its exit code (0 success, 1 failure).
uint32_t runJavaMainThread(JavaLauncher& launcher);

/// The Java main thread: createJvm, then invokeMain. 0 on success, 1 on failure.
uint32_t javaMainThreadProc(void* launcher);

/// Creates the JVM with jvmOptions and the "abort" and "exit" hooks, then redirects the
/// standard streams. Reports text 203 and answers false when the JVM cannot be created.
bool createJvm(JavaLauncher& launcher);

/// Finds the main class and calls its static main(String[]) with `arguments`, then detaches
/// the thread. Every failure after the JVM exists detaches too, so that DestroyJavaVM does not
/// wait for this thread forever. When IBM runtimes are accepted or favoured the thread never
/// detaches: it destroys the JVM itself (waiting for the program's non-daemon threads) and
/// clears javaVm. True when main was called (an uncaught exception included).
bool invokeMain(JavaLauncher& launcher);

/// javaStackSize of the JVM's default JDK 1.1 init args; 0 when it offers none.
uint64_t defaultJavaStackSize(JavaLauncher& launcher);

void JNICALL jvmExitHook(jint code);
void JNICALL jvmAbortHook();

}  // namespace koru
