#include "jvm/jvm_environment.h"

#include "jvm/jvm_options.h"
#include "launcher/java_launcher.h"
#include "platform/platform.h"
#include "settings/settings_paths.h"
#include "support/paths.h"

namespace koru {

namespace {

// A list of folders written in the settings, with its environment references expanded and a
// ';' after it unless it ends with one already.
Text expandedFolderList(TextView setting) {
  Text list(setting);
  if (!endsWith(list, u";")) list += u';';
  expandEnvironment(list);
  return list;
}

}  // namespace

void prepareEnvironment(JavaLauncher& launcher) {
  publishJvmLocation(launcher.jvmLibraryPath);

  // Only the texts from the settings are expanded: the previous Path and the folders derived
  // from real paths are put in literally, so a folder name holding '%' stays intact and a Path
  // too long to expand is never replaced by the unexpanded reference.
  const Text previousPath = environmentVariable(u"Path");

  if (!launcher.libraryPath.empty()) {
    Text value = expandedFolderList(launcher.libraryPath);
    Text executable;
    if (modulePath(executable)) value += folderWithSeparator(executable);
    value += u";.";
    if (!previousPath.empty()) value += u";" + previousPath;
    value += u";" + runtimeHomeFolder(launcher.jvmLibraryPath) + u"lib";
    launcher.libraryPath = value;
    // Option assembly follows this step, so this option is the first one the JVM sees.
    launcher.jvmOptions.insert(launcher.jvmOptions.begin(), toNarrow(u"-Djava.library.path=" + value));
  }

  // The runtime's bin folder always ends the Path, after "System Path" and the previous Path.
  Text path;
  if (!launcher.systemPath.empty()) path = expandedFolderList(launcher.systemPath);
  if (!previousPath.empty()) path += previousPath + u";";
  path += stripPathComponents(launcher.jvmLibraryPath, 2);
  setEnvironmentVariable(u"Path", path);
}

void publishJvmLocation(TextView jvmLibraryPath) {
  setEnvironmentVariable(u"KORU_JVM_PATH", jvmLibraryPath);
  setEnvironmentVariable(u"KORU_JVM_HOME", stripPathComponents(jvmLibraryPath, 3));
}

Text runtimeHomeFolder(TextView jvmLibraryPath) {
  return folderWithSeparator(stripPathComponents(jvmLibraryPath, 2));
}

}  // namespace koru
