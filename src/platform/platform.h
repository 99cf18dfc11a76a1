// The seam to the operating system: every call the launcher makes to Win32 goes through these
// functions. platform_win.cpp holds the thin Win32 implementation; platform_posix.cpp a native
// stand-in on which the portable core runs in the unit tests (backslashes in paths become
// slashes there). No Win32 type crosses this header.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/text.h"

namespace koru {

inline constexpr uint32_t kErrorAlreadyExists = 183;   // ERROR_ALREADY_EXISTS
inline constexpr uint32_t kErrorNotEnoughMemory = 14;  // ERROR_OUTOFMEMORY
inline constexpr uint32_t kMaxPath = 260;              // MAX_PATH, terminating zero included

// --- Process -------------------------------------------------------------------------------

/// The full path of the running executable; answers 0 or the system error code.
uint32_t queryModulePath(Text& path);

/// The whole command line, program name included, as the starting process wrote it.
Text processCommandLine();

/// The calling thread's last system error code.
uint32_t lastSystemError();

/// Makes conversions on this thread follow the system default locale's ANSI code page.
void useSystemDefaultThreadLocale();

/// Total physical memory, and the process's unreserved and uncommitted user address space.
uint64_t totalPhysicalMemory();
uint64_t availableVirtualMemory();

/// Whether the system belongs to the NT family.
bool isWindowsNt();

// --- Text at the narrow edges ----------------------------------------------------------------

/// UTF-16 to narrow text in the thread's ANSI code page; unmapped characters become the code
/// page's default character.
std::string toNarrow(TextView text);
Text fromNarrow(std::string_view text);

// --- Environment -----------------------------------------------------------------------------

/// The value of a variable; an unset variable gives an empty text.
Text environmentVariable(TextView name);
void setEnvironmentVariable(TextView name, TextView value);

/// %NAME% references replaced by their values (unknown ones stay as written). False when the
/// system cannot expand the text; `expanded` is then untouched.
bool expandEnvironmentStrings(TextView text, Text& expanded);

// --- File system -----------------------------------------------------------------------------

/// Whether a directory search finds an entry for the path (wildcards allowed).
bool findsEntry(TextView path);

/// The names (not paths) of every entry matching the pattern, in the order the file system
/// lists them.
TextList findEntryNames(TextView pattern);

/// Creates one folder; answers 0 or the system error code (kErrorAlreadyExists included).
uint32_t createFolder(TextView path);

/// Removes a folder when it is empty; the result is not reported.
void removeEmptyFolder(TextView path);

bool setCurrentFolder(TextView path);

/// Reads `count` bytes at `offset` of a file; false when the file cannot be opened or is short.
bool readFileBytes(TextView path, uint64_t offset, size_t count, std::vector<uint8_t>& bytes);

// --- Profile (INI) files ---------------------------------------------------------------------
// These keep the counting rules of the Win32 profile functions: a value cut to fit answers
// size - 1, a cut section-name list size - 2. A path that is not a full path names a file in
// the Windows folder.

uint32_t readProfileString(TextView section, TextView key, TextView path, char16_t* buffer,
                           uint32_t size);
uint32_t readProfileSectionNames(char16_t* buffer, uint32_t size, TextView path);
bool writeProfileString(TextView section, TextView key, TextView value, TextView path);

// --- Libraries and threads -------------------------------------------------------------------

/// Loads a library for the life of the process; null with `error` set when it cannot.
void* loadLibrary(TextView path, uint32_t& error);

/// The address of an export; null with `error` set when it is missing.
void* libraryEntry(void* library, const char* name, uint32_t& error);

using ThreadProc = uint32_t (*)(void* argument);

/// Starts a thread with the given initial stack size (0: the executable's default) and waits
/// for it without a time-out. False when the thread cannot be started.
bool runThreadAndWait(uint64_t stackSize, ThreadProc proc, void* argument, uint32_t& exitCode);

// --- Events and processes --------------------------------------------------------------------

/// Sets an event made by the single-instance set-up; a null event is ignored.
void signalEvent(void* event);

/// Starts an executable by its path alone (its command line is the path itself; no handles
/// inherited; this process's environment and current folder). With `waitForExit` waits without
/// time limit and answers its exit code; otherwise, or when it cannot be started, answers 0.
uint32_t startProcess(TextView application, bool waitForExit);

// --- Registry, read only ---------------------------------------------------------------------
// Keys under HKEY_LOCAL_MACHINE, opened with KEY_READ, or with KEY_READ | KEY_WOW64_32KEY when
// `use32BitView` is set (the 32-bit registry as a 32-bit process sees it). Every key opened
// here is closed before the call returns.

/// The names of the subkeys of `key`, in the order the registry enumerates them; empty when the
/// key cannot be opened.
TextList registrySubkeyNames(TextView key, bool use32BitView);

/// A value of `key` read as UTF-16 text up to its first NUL, whatever its registry type. False
/// when the key cannot be opened, or the value is missing, holds no data or cannot be read.
bool readRegistryText(TextView key, TextView name, bool use32BitView, Text& text);

}  // namespace koru
