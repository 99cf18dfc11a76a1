// The environment the Java side sees: KORU_JVM_PATH, KORU_JVM_HOME, Path and
// java.library.path.
#pragma once

#include "support/text.h"

namespace koru {

class JavaLauncher;

/// Publishes the runtime location, adds "-Djava.library.path=" as the first JVM option when
/// "Library Path" is set, and puts the runtime's bin folder at the end of Path. Environment
/// references are expanded in "Library Path" and "System Path" only; the previous Path and the
/// folders derived from real paths go in as they are.
void prepareEnvironment(JavaLauncher& launcher);

/// Sets KORU_JVM_PATH to the library path and KORU_JVM_HOME to its Java home.
void publishJvmLocation(TextView jvmLibraryPath);

/// The Java home of a JVM library path, ending with a backslash (C:\J\bin\server\jvm.dll gives
/// C:\J\).
Text runtimeHomeFolder(TextView jvmLibraryPath);

}  // namespace koru
