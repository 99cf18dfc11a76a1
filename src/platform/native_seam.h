// Controls of the native stand-in of the platform seam, for the unit tests.
#pragma once

#include "support/text.h"

namespace koru::seam {

/// What queryModulePath answers; an empty text makes it fail with error 5.
void setModulePath(const Text& path);

/// What processCommandLine answers.
void setCommandLine(const Text& commandLine);

/// What totalPhysicalMemory and availableVirtualMemory answer.
void setMemory(uint64_t totalPhysical, uint64_t availableVirtual);

/// Whether isWindowsNt answers true (the default).
void setWindowsNt(bool nt);

/// A path in the launcher's backslash form as the native file system sees it.
std::string nativePath(TextView path);

// --- Registry --------------------------------------------------------------------------------

/// Adds a key below HKEY_LOCAL_MACHINE (with its parents) to the in-memory registry of one view,
/// and a value to it when `valueName` is not empty. The value's data are raw UTF-16 units,
/// terminators included as given, so a test can write text with or without its NUL.
void addRegistryKey(TextView key, bool use32BitView, TextView valueName = u"",
                    const Text& data = Text());

/// Empties both views of the in-memory registry.
void clearRegistry();

}  // namespace koru::seam
