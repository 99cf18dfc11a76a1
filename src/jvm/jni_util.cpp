#include "jvm/jni_util.h"

namespace koru {

jstring newJavaString(JNIEnv* env, TextView text) {
  LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
  if (!stringClass) return nullptr;
  // The char[] constructor takes the UTF-16 units as they are: no code page is involved, so
  // supplementary characters and embedded zeros arrive unchanged.
  jmethodID constructor = env->GetMethodID(stringClass.get(), "<init>", "([C)V");
  if (constructor == nullptr) return nullptr;
  jsize length = static_cast<jsize>(text.size());
  LocalRef<jcharArray> units(env, env->NewCharArray(length));
  if (!units) return nullptr;
  static_assert(sizeof(jchar) == sizeof(char16_t), "jchar is a UTF-16 unit");
  env->SetCharArrayRegion(units.get(), 0, length, reinterpret_cast<const jchar*>(text.data()));
  if (env->ExceptionCheck()) return nullptr;
  return static_cast<jstring>(env->NewObject(stringClass.get(), constructor, units.get()));
}

jobjectArray newJavaStringArray(JNIEnv* env, const TextList& list) {
  LocalRef<jclass> stringClass(env, env->FindClass("java/lang/String"));
  if (!stringClass) return nullptr;
  LocalRef<jobjectArray> array(
      env, env->NewObjectArray(static_cast<jsize>(list.size()), stringClass.get(), nullptr));
  if (!array) return nullptr;
  for (size_t index = 0; index < list.size(); ++index) {
    LocalRef<jstring> element(env, newJavaString(env, list[index]));
    if (!element) return nullptr;
    env->SetObjectArrayElement(array.get(), static_cast<jsize>(index), element.get());
    if (env->ExceptionCheck()) return nullptr;
  }
  return array.release();
}

jclass findClassByName(JNIEnv* env, TextView internalName) {
  LocalRef<jstring> nameString(env, newJavaString(env, internalName));
  if (!nameString) return nullptr;
  const char* name = env->GetStringUTFChars(nameString.get(), nullptr);
  if (name == nullptr) return nullptr;
  jclass found = env->FindClass(name);
  env->ReleaseStringUTFChars(nameString.get(), name);
  return found;
}

void callSystemExit(JNIEnv* env) {
  LocalRef<jclass> systemClass(env, env->FindClass("java/lang/System"));
  if (!systemClass) return;
  jmethodID exitMethod = env->GetStaticMethodID(systemClass.get(), "exit", "(I)V");
  if (exitMethod == nullptr) return;
  env->CallStaticVoidMethod(systemClass.get(), exitMethod, static_cast<jint>(-1));
  if (env->ExceptionCheck()) env->ExceptionDescribe();
}

}  // namespace koru
