// Redirecting System.out and System.err to files, with missing parent folders created.
#pragma once

#include <cstdint>

#include "support/text.h"

namespace koru {

class JavaLauncher;

enum class StandardStream { output, error };

/// Installs a PrintStream on a FileOutputStream of `path` as System.out or System.err, through
/// the launcher's jniEnv. False leaves the stream as it was (an exception may be pending).
bool redirectStandardStream(JavaLauncher& launcher, TextView path, StandardStream stream);

/// Creates the missing folders of a file path; 0, or the error of the creation that failed.
/// Cleans up after a failure only what this call itself created.
uint32_t createParentFolders(TextView path);

/// False for an empty path or one that neither begins with a backslash nor holds ':';
/// otherwise whether a directory search finds it.
bool absolutePathExists(TextView path);

}  // namespace koru
