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

/// A class by its internal name ('/' separators), handed to FindClass in modified UTF-8; null
/// when the name cannot be converted or the class is not found (an exception may be pending).
jclass findClassByName(JNIEnv* env, TextView internalName);

/// Runs `work` on the calling thread attached to `vm`, describes an exception it leaves, and
/// detaches again unless `stayAttached` (IBM runtimes). Does nothing when the thread cannot be
/// attached.
template <class Work>
void runAttached(JavaVM* vm, bool stayAttached, Work work) {
  JNIEnv* env = nullptr;
  if (vm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return;
  work(env);
  if (env->ExceptionCheck()) env->ExceptionDescribe();
  if (!stayAttached) vm->DetachCurrentThread();
}

/// Owns one local reference and deletes it when it goes, so that helpers called in loops do
/// not pile up references in the calling thread's frame. DeleteLocalRef is one of the calls
/// allowed while an exception is pending.
template <class Reference>
class LocalRef {
 public:
  LocalRef(JNIEnv* env, Reference reference) : env_(env), reference_(reference) {}
  ~LocalRef() {
    if (reference_ != nullptr) env_->DeleteLocalRef(reference_);
  }
  LocalRef(const LocalRef&) = delete;
  LocalRef& operator=(const LocalRef&) = delete;

  Reference get() const { return reference_; }
  explicit operator bool() const { return reference_ != nullptr; }
  /// Hands the reference to the caller, who then owns it.
  Reference release() {
    Reference reference = reference_;
    reference_ = nullptr;
    return reference;
  }

 private:
  JNIEnv* env_;
  Reference reference_;
};

}  // namespace koru
