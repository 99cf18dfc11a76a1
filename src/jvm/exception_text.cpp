#include "jvm/exception_text.h"

#include "jvm/jni_util.h"

namespace koru {

namespace {

// The stack trace rendered into memory. Runs with no exception pending, so every JNI call
// made here is legal; an exception that the rendering itself raises is described.
Text renderStackTrace(jthrowable throwable, JNIEnv* env) {
  LocalRef<jclass> bytesClass(env, env->FindClass("java/io/ByteArrayOutputStream"));
  if (!bytesClass) return Text();
  jmethodID bytesConstructor = env->GetMethodID(bytesClass.get(), "<init>", "()V");
  if (bytesConstructor == nullptr) return Text();
  LocalRef<jobject> bytes(env, env->NewObject(bytesClass.get(), bytesConstructor));
  if (!bytes) return Text();

  // The bytes are UTF-8 both ways, so that no character of the trace depends on the default
  // code page of the system.
  LocalRef<jstring> encoding(env, env->NewStringUTF("UTF-8"));
  if (!encoding) return Text();
  LocalRef<jclass> printClass(env, env->FindClass("java/io/PrintStream"));
  if (!printClass) return Text();
  jmethodID printConstructor =
      env->GetMethodID(printClass.get(), "<init>", "(Ljava/io/OutputStream;ZLjava/lang/String;)V");
  if (printConstructor == nullptr) return Text();
  LocalRef<jobject> printStream(
      env, env->NewObject(printClass.get(), printConstructor, bytes.get(), JNI_FALSE, encoding.get()));
  if (!printStream) return Text();

  LocalRef<jclass> throwableClass(env, env->GetObjectClass(throwable));
  if (!throwableClass) return Text();
  jmethodID printStackTrace =
      env->GetMethodID(throwableClass.get(), "printStackTrace", "(Ljava/io/PrintStream;)V");
  if (printStackTrace == nullptr) return Text();
  env->CallVoidMethod(throwable, printStackTrace, printStream.get());
  if (env->ExceptionCheck()) env->ExceptionDescribe();

  jmethodID toString = env->GetMethodID(bytesClass.get(), "toString", "(Ljava/lang/String;)Ljava/lang/String;");
  if (toString == nullptr) return Text();
  LocalRef<jstring> trace(env, static_cast<jstring>(env->CallObjectMethod(bytes.get(), toString, encoding.get())));
  if (env->ExceptionCheck()) env->ExceptionDescribe();
  if (!trace) return Text();

  // The string's own UTF-16 units, so that no character depends on a code page.
  jsize length = env->GetStringLength(trace.get());
  Text text(static_cast<size_t>(length), u'\0');
  static_assert(sizeof(jchar) == sizeof(char16_t), "jchar is a UTF-16 unit");
  env->GetStringRegion(trace.get(), 0, length, reinterpret_cast<jchar*>(text.data()));
  if (env->ExceptionCheck()) {
    env->ExceptionDescribe();
    return Text();
  }
  return text;
}

}  // namespace

Text exceptionText(JavaLauncher&, jthrowable throwable, JNIEnv* env) {
  if (throwable == nullptr) return Text();
  // Only a few JNI functions may be called while an exception is pending: the exception from
  // main is set aside for the rendering and pending again afterwards for the steps that follow.
  LocalRef<jthrowable> pending(env, env->ExceptionOccurred());
  if (pending) env->ExceptionClear();
  Text text = renderStackTrace(throwable, env);
  // A step that failed may have left its own exception; it must not replace main's.
  if (env->ExceptionCheck()) env->ExceptionDescribe();
  if (pending) env->Throw(pending.get());
  return text;
}

StopDecision stopDecision(JavaLauncher& launcher, jthrowable throwable, JNIEnv* env) {
  // The launcher shows no stack trace of its own and never ends the run here: the uncaught
  // exception is printed by the JVM when the thread detaches.
  exceptionText(launcher, throwable, env);
  return StopDecision::carryOn;
}

}  // namespace koru
