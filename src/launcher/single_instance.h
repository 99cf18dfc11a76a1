// Single-instance mode: the first process started from an executable path runs the Java
// program; every later one hands its arguments to the first through a shared block and ends with
// the first instance's answer. The block layout, the argument packing and the call of the main
// class's secondaryMain are portable; the kernel objects and threads live in
// single_instance_win.cpp (the native build has no second instances).
#pragma once

#include <jni.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "support/text.h"

namespace koru {

class JavaLauncher;
class LayeredSettings;

/// Code units of the argument area: each argument with its terminator, then one more zero.
inline constexpr size_t kArgumentAreaUnits = 1040;

/// The block shared by every process started from the same executable path (little-endian).
struct SingleInstanceBlock {
  uint32_t messageThreadId;  // the first instance's message thread
  uint32_t processId;        // the first instance
  uint32_t handOverMessage;  // the registered message for the object name
  char16_t argumentArea[kArgumentAreaUnits];  // written by a second instance
};
static_assert(sizeof(SingleInstanceBlock) == 2092, "the shared block is 2092 bytes");

/// Whether the settings switch single-instance mode on: "Single Instance" in "Application" is
/// exactly "yes" and "Application Type" is not "service" (a service never runs in this mode).
bool singleInstanceRequested(LayeredSettings& settings);

/// The executable path with every backslash replaced by '_': the name of the file mapping and of
/// the registered message. The ready event's name is this followed by "_upr_evt".
Text instanceObjectName(TextView executablePath);

/// The same for the running executable; empty when its path cannot be had (reported there).
Text instanceObjectName();

/// A second instance's copy of `arguments` into `argumentArea`; false, writing nothing, when
/// they do not fit with their terminators.
bool writeArgumentsToBlock(const TextList& arguments, SingleInstanceBlock& block);

/// The first instance's reading of `argumentArea`; an unterminated last argument is dropped.
TextList readArgumentsFromBlock(const SingleInstanceBlock& block);

/// What a hand-over thread does once the JVM exists: attaches to `javaVm`, finds the main
/// class's static secondaryMain (the void variant first, then the int variant), calls it with
/// `handedArguments` and gives the second instance its answer through `answer` (0 before a
/// void secondaryMain runs, the int result after an int one returns). Without the method, the
/// attach or the array no answer is given. Describes a pending exception and detaches (not
/// for IBM runtimes).
void callSecondaryMain(JavaLauncher& launcher, const TextList& handedArguments,
                       const std::function<void(jint answer)>& answer);

/// Settles the mode while preparing: reads the settings and, when they ask for the mode, sets
/// `singleInstance` and opens the shared objects. False when no settings file can be named or a
/// second instance cannot hand over.
bool setUpSingleInstance(JavaLauncher& launcher);

/// Opens or creates the shared block; a first instance starts its message thread, a second one
/// hands its arguments over (false when it cannot). Objects that cannot be had clear
/// `singleInstance`: the process then runs as an ordinary instance.
bool openSharedInstance(JavaLauncher& launcher);

/// A second instance's wait for the first instance's answer, which becomes the exit status.
uint32_t waitForFirstInstance(JavaLauncher& launcher);

/// Teardown: stops the message thread and releases the block and the ready event.
void releaseSingleInstance(JavaLauncher& launcher);

}  // namespace koru
