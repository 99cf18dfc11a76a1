// Asking the Java program to stop: the static stop() of the main class, called from a thread
// of the caller's own.
#pragma once

namespace koru {

class JavaLauncher;

/// Attaches the calling thread to the launcher's JVM, calls the main class's static stop()
/// when it has one, describes an exception it leaves, and detaches again (except with IBM
/// runtimes accepted, whose threads end attached). Does nothing without a JVM.
void callJavaStop(JavaLauncher& launcher);

}  // namespace koru
