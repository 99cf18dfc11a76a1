// Asking the user for a Java runtime when no source of the search yields one.
#pragma once

#include "runtime/jre_version.h"
#include "runtime/runtime_choice.h"
#include "support/text.h"

namespace koru {

/// The explanation of the runtime-not-found dialog: text 206 (server VM) for `server`, text
/// 207 for every other type, with the acceptable versions in place of %s.
Text jreNotFoundMessage(JvmType type, const JreVersion& minimum, const JreVersion& maximum);

/// A folder picked in the dialog and the JVM library it offers for the configured type.
struct PickedRuntime {
  /// The folder with a trailing backslash; empty when nothing usable was picked.
  Text folder;
  /// Empty when the folder holds no library usable with the type; OK needs one.
  Text jvmLibraryPath;
};

/// Probes the folder the folder browser answered. The folder itself is the Java home: a JDK
/// whose runtime lies in its "jre\" subfolder offers nothing. An empty answer (a pick with no
/// file-system path) offers nothing rather than probing the current folder.
PickedRuntime probePickedFolder(TextView folder, JvmType type);

/// Shows the runtime-not-found dialog modally, owned by the active window, and answers true
/// when the user confirmed a folder with OK; false on Cancel, Esc, the close box, or when the
/// dialog cannot be shown (there is no native dialog: the native build always answers false).
bool askForJavaRuntime(TextView message, JvmType type, PickedRuntime& picked);

}  // namespace koru
