// Rendering an uncaught Java exception as the text printStackTrace prints.
#pragma once

#include <jni.h>

#include "support/text.h"

namespace koru {

class JavaLauncher;

/// The stack trace of `throwable` as printStackTrace prints it, or empty text when any step
/// fails. A pending exception is cleared for the rendering and pending again afterwards.
Text exceptionText(JavaLauncher& launcher, jthrowable throwable, JNIEnv* env);

enum class StopDecision { stop, carryOn };

/// What to do after main ended with `throwable` while "Failure Check" is on.
StopDecision stopDecision(JavaLauncher& launcher, jthrowable throwable, JNIEnv* env);

}  // namespace koru
