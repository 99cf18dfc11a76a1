// JNI helpers shared by the JVM host, output redirection and the service and single-instance
// threads.
#pragma once

#include <jni.h>

#include "support/text.h"

namespace koru {

/// A java.lang.String with the text's UTF-16 units unchanged, or null (local reference).
jstring newJavaString(JNIEnv* env, TextView text);

/// A String[] of the list in order (empty list: empty array), or null (local reference).
jobjectArray newJavaStringArray(JNIEnv* env, const TextList& list);

/// Calls System.exit(-1); describes an exception it raises.
void callSystemExit(JNIEnv* env);

}  // namespace koru
