// Probing a Java home (a folder path ending with a backslash) for its JVM library.
#pragma once

#include "runtime/runtime_choice.h"
#include "support/text.h"

namespace koru {

/// Whether a directory search finds an entry for the path (a folder counts).
bool pathExists(TextView path);

/// Whether home + "bin\java.dll" exists.
bool isJavaHome(TextView home);

/// The JVM library inside `home` usable with `type`, or empty. `server` is set to whether the
/// library found is the server VM; it is left unchanged when nothing is found.
Text findJvmLibrary(TextView home, JvmType type, bool& server);

/// Whether the file is a PE image for 32-bit x86 (machine 0x014C). The header is read from
/// the file itself; no library is loaded for it.
bool isX86Image(TextView path);

}  // namespace koru
