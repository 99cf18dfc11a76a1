// JVM option assembly: class path, VM parameters, redirection files and "Cmd" arguments.
#pragma once

#include <cstdint>

#include "support/text.h"

namespace koru {

class JavaLauncher;

/// Reads the option settings and appends "-Djava.class.path=..." and the VM parameters to
/// `jvmOptions`; fills outputFile, errorFile, cmdText and the "Cmd" arguments. False (after
/// text 209) when the class path is empty, or silently when the settings file has no name.
bool assembleJvmOptions(JavaLauncher& launcher);

/// Replaces %NAME% references by their values in place; unknown ones stay as written, and a
/// text the system cannot expand is left unchanged.
void expandEnvironment(Text& text);

/// The executable's folder without a trailing backslash (empty when its path cannot be read).
Text executableFolder();

/// Appends the class path entries for a relative piece (looked up in the executable's folder;
/// the empty piece names that folder) or an absolute one with '*': one per match of a directory
/// search, folders included, each followed by ';'. Nothing when nothing matches.
void resolveClassPathEntry(TextView piece, Text& classPath);

/// Cuts the "Virtual Machine Parameters" text at blanks outside double quotes and appends each
/// processed parameter (quotes removed, memory forms rewritten); "-Xss" sets the stack size.
void splitVmParameters(TextView text, TextList& parameters, uint64_t& threadStackSize);

/// Index of the blank that ends the parameter starting at `start`, or the text length.
size_t findParameterEnd(TextView text, size_t start);

/// Removes the quotes of every closed double-quoted section in place.
void removeQuotes(Text& text);

}  // namespace koru
