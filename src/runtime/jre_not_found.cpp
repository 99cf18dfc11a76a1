#include "runtime/jre_not_found.h"

#include "runtime/java_home.h"
#include "support/messages.h"
#include "support/paths.h"

namespace koru {

Text jreNotFoundMessage(JvmType type, const JreVersion& minimum, const JreVersion& maximum) {
  // favor_server accepts a client VM too, so only server asks for a server JVM.
  uint16_t id = type == kJvmServer ? kJreNotFoundServer : kJreNotFound;
  return formatText(loadMessage(id), {versionRequirementText(minimum, maximum)});
}

PickedRuntime probePickedFolder(TextView folder, JvmType type) {
  PickedRuntime picked;
  if (folder.empty()) return picked;
  picked.folder = withTrailingBackslash(folder);
  bool server = false;
  picked.jvmLibraryPath = findJvmLibrary(picked.folder, type, server);
  return picked;
}

}  // namespace koru
