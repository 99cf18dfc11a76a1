#include "launcher/java_launcher.h"
#include "platform/platform.h"

namespace koru {

uint32_t JavaLauncher::startPairedProduct() {
  // The companion gets none of the launcher's arguments: its command line is its own path.
  return startProcess(pairProduct, pairReturnCode);
}

}  // namespace koru
