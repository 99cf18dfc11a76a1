// The runtime search order: "JRE Path", the private runtime folder, the registry, the dialog.
#pragma once

#include "support/text.h"

namespace koru {

class JavaLauncher;

/// The Java home of the private runtime folder (the executable's folder, else its "jre64\"),
/// or empty when there is none.
Text findPrivateJavaHome();

/// Writes a folder chosen in the runtime-not-found dialog as "JRE Path" into the per-user or
/// paired settings files; nothing is written without a paired product.
void storeChosenJrePath(const JavaLauncher& launcher, TextView folder);

}  // namespace koru
