#include "runtime/jre_not_found.h"

namespace koru {

// The native build has no windows to show: the dialog fails to appear, as it does on a
// Windows system without a desktop, and the search ends without a runtime.
bool askForJavaRuntime(TextView, JvmType, PickedRuntime&) { return false; }

}  // namespace koru
