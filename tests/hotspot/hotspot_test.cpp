// The JVM host against the real HotSpot of KORU_JAVA_HOME, with -Xcheck:jni on.
//
// A process can create one JVM only. The tests that need a live JVM share one per process
// (ctest runs every test in its own process; a plain run of the binary shares one JVM among
// all). Exits, teardown and redirection at creation need a JVM of their own: for them the
// binary relaunches itself as a child launcher (--child) and looks at its output and status.
#include <gtest/gtest.h>
#include <jni.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "jvm/exception_text.h"
#include "jvm/java_stop.h"
#include "jvm/jni_util.h"
#include "jvm/jvm_exit_listener.h"
#include "jvm/jvm_host.h"
#include "jvm/redirect.h"
#include "launcher/java_launcher.h"
#include "launcher/single_instance.h"
#include "support/text.h"

extern char** environ;

namespace koru {
namespace {

const char kJvmLibrary[] = KORU_HOTSPOT_JVM;

JvmOptionList baseOptions() {
  return {"-Xcheck:jni", "-XX:-UsePerfData",
          std::string("-Djava.class.path=") + KORU_HOTSPOT_CLASSES + ":" + KORU_HOTSPOT_PACKED};
}

std::string readWhole(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

// Everything the process writes to its standard output and error while the object is
// collecting, the JVM's own output included. Assertions run only after finish(), so that their
// messages reach the console.
class CapturedOutput {
 public:
  CapturedOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    char name[] = "/tmp/koru-capture-XXXXXX";
    file_ = mkstemp(name);
    unlink(name);
    savedOutput_ = dup(1);
    savedError_ = dup(2);
    dup2(file_, 1);
    dup2(file_, 2);
  }
  ~CapturedOutput() {
    finish();
    close(file_);
  }
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  std::string finish() {
    if (savedOutput_ >= 0) {
      std::fflush(stdout);
      std::fflush(stderr);
      dup2(savedOutput_, 1);
      dup2(savedError_, 2);
      close(savedOutput_);
      close(savedError_);
      savedOutput_ = savedError_ = -1;
    }
    std::string text;
    char buffer[4096];
    off_t offset = 0;
    for (ssize_t count; (count = pread(file_, buffer, sizeof buffer, offset)) > 0; offset += count) {
      text.append(buffer, static_cast<size_t>(count));
    }
    return text;
  }

 private:
  int file_ = -1;
  int savedOutput_ = -1;
  int savedError_ = -1;
};

// -Xcheck:jni reports every misuse it sees as a line holding "WARNING".
void expectNoCheckWarning(const std::string& output) {
  EXPECT_EQ(output.find("WARNING"), std::string::npos) << output;
}

// Asserts that the pieces occur in the output in this order.
void expectInOrder(const std::string& output, const std::vector<std::string>& pieces) {
  size_t at = 0;
  for (const std::string& piece : pieces) {
    size_t found = output.find(piece, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << piece << "\n" << output;
    at = found + piece.size();
  }
}

Text javaText(JNIEnv* env, jstring string) {
  jsize length = env->GetStringLength(string);
  Text text(static_cast<size_t>(length), u'\0');
  env->GetStringRegion(string, 0, length, reinterpret_cast<jchar*>(text.data()));
  return text;
}

// --- The shared JVM ------------------------------------------------------------------------

JavaLauncher* gLauncher = nullptr;  // the test process's launcher, made by main
std::string gCreationOutput;

class SharedJvm : public ::testing::Test {
 protected:
  void SetUp() override {
    JavaLauncher& launcher = *gLauncher;
    if (launcher.javaVm == nullptr) {
      launcher.jvmLibraryPath = fromUtf8(kJvmLibrary);
      launcher.jvmOptions = baseOptions();
      ASSERT_TRUE(loadJvmLibrary(launcher));
      CapturedOutput output;
      bool created = createJvm(launcher);
      gCreationOutput = output.finish();
      ASSERT_TRUE(created) << gCreationOutput;
    }
    // invokeMain detaches the calling thread; every test starts attached again.
    void* env = nullptr;
    if (launcher.javaVm->GetEnv(&env, JNI_VERSION_1_2) == JNI_EDETACHED) {
      ASSERT_EQ(launcher.javaVm->AttachCurrentThread(&env, nullptr), JNI_OK);
    }
    env_ = static_cast<JNIEnv*>(env);
    launcher.jniEnv = env_;
    launcher.arguments.clear();
    launcher.failureCheck = false;
  }

  bool attached() {
    void* env = nullptr;
    return gLauncher->javaVm->GetEnv(&env, JNI_VERSION_1_2) == JNI_OK;
  }

  jclass fixtureClass(const char* name) {
    jclass found = env_->FindClass(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }

  JNIEnv* env_ = nullptr;
};

TEST_F(SharedJvm, CreationAndDefaultsAreClean) {
  expectNoCheckWarning(gCreationOutput);
  // HotSpot's default Java stack on x86-64 Linux is 1 MB.
  EXPECT_EQ(defaultJavaStackSize(*gLauncher), 1048576u);
}

TEST_F(SharedJvm, NewJavaStringKeepsEveryUtf16Unit) {
  const Text cases[] = {
      Text(),
      u"plain",
      Text(u"a\0b\U0001F600\u00FC", 6),  // an embedded zero and a character outside the BMP
      Text(1, u'\xD800'),                 // a lone surrogate is still a unit like any other
  };
  CapturedOutput output;
  std::vector<Text> seen;
  for (const Text& text : cases) {
    LocalRef<jstring> string(env_, newJavaString(env_, text));
    seen.push_back(string ? javaText(env_, string.get()) : u"<null>");
  }
  // The same characters written as a Java literal make an equal String.
  jclass echo = fixtureClass("koru/fixture/Echo");
  jmethodID sample = env_->GetStaticMethodID(echo, "sample", "()Ljava/lang/String;");
  LocalRef<jobject> literal(env_, env_->CallStaticObjectMethod(echo, sample));
  bool pending = env_->ExceptionCheck();
  LocalRef<jstring> made(env_, newJavaString(env_, cases[2]));
  LocalRef<jclass> objectClass(env_, env_->FindClass("java/lang/Object"));
  jmethodID equals = env_->GetMethodID(objectClass.get(), "equals", "(Ljava/lang/Object;)Z");
  bool equal = env_->CallBooleanMethod(literal.get(), equals, made.get()) == JNI_TRUE;
  pending = pending || env_->ExceptionCheck();
  expectNoCheckWarning(output.finish());

  ASSERT_EQ(seen.size(), std::size(cases));
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], cases[i]) << "case " << i;
  EXPECT_TRUE(equal);
  EXPECT_FALSE(pending);
}

TEST_F(SharedJvm, NewJavaStringArrayKeepsOrderAndGivesEmptyArrays) {
  CapturedOutput output;
  LocalRef<jobjectArray> empty(env_, newJavaStringArray(env_, {}));
  jsize emptyLength = empty ? env_->GetArrayLength(empty.get()) : -1;
  const TextList list = {u"first", u"", u"third \U0001F600"};
  LocalRef<jobjectArray> array(env_, newJavaStringArray(env_, list));
  TextList seen;
  for (jsize i = 0; array && i < env_->GetArrayLength(array.get()); ++i) {
    LocalRef<jstring> element(env_, static_cast<jstring>(env_->GetObjectArrayElement(array.get(), i)));
    seen.push_back(javaText(env_, element.get()));
  }
  expectNoCheckWarning(output.finish());

  ASSERT_TRUE(empty);
  EXPECT_EQ(emptyLength, 0);
  EXPECT_EQ(seen, list);
}

TEST_F(SharedJvm, InvokeMainHandsOverArgumentsUnchanged) {
  TextList many;
  for (int i = 0; i < 300; ++i) many.push_back(u"argument " + decimalText(static_cast<int64_t>(i)));
  const TextList cases[] = {
      {},
      {u"plain", u"", u"with blanks", u"\"quoted\"", u"-nosplash", u"/nosplash",
       Text(u"nul\0inside", 10), u"\u00FC\u20AC\U0001F600"},
      many,
  };
  for (const TextList& arguments : cases) {
    SCOPED_TRACE(arguments.size());
    ASSERT_NO_FATAL_FAILURE(SetUp());
    gLauncher->mainClassName = u"koru/fixture/Echo";
    gLauncher->arguments = arguments;
    CapturedOutput output;
    bool result = invokeMain(*gLauncher);
    bool detached = !attached();
    expectNoCheckWarning(output.finish());
    EXPECT_TRUE(result);
    EXPECT_TRUE(detached);

    ASSERT_NO_FATAL_FAILURE(SetUp());
    jclass echo = fixtureClass("koru/fixture/Echo");
    jfieldID field = env_->GetStaticFieldID(echo, "received", "[Ljava/lang/String;");
    auto received = static_cast<jobjectArray>(env_->GetStaticObjectField(echo, field));
    ASSERT_NE(received, nullptr);  // an empty list arrives as an empty array, not null
    TextList seen;
    for (jsize i = 0; i < env_->GetArrayLength(received); ++i) {
      LocalRef<jstring> element(env_, static_cast<jstring>(env_->GetObjectArrayElement(received, i)));
      seen.push_back(javaText(env_, element.get()));
    }
    EXPECT_EQ(seen, arguments);
    env_->DeleteLocalRef(received);
    env_->DeleteLocalRef(echo);
  }
}

TEST_F(SharedJvm, InvokeMainReportsFailuresAndAlwaysDetaches) {
  struct Case {
    const char16_t* mainClass;
    bool failureCheck;
    bool result;
    std::vector<std::string> output;  // in this order
    const char* absent;
  };
  const Case cases[] = {
      // The exception is described first, then the launcher's own line.
      {u"koru/fixture/Missing", false, false,
       {"java.lang.NoClassDefFoundError: koru/fixture/Missing",
        "Error: Could not find the main class koru/fixture/Missing.\n \n"},
       "No main method"},
      {u"koru/fixture/NoMain", false, false, {"Error: No main method found in specified class.\n \n"},
       "Exception"},
      // An exception while main is looked up is the class's own failure, not a missing main.
      {u"koru/fixture/BrokenInit", false, false,
       {"java.lang.ExceptionInInitializerError", "broken initializer"}, "No main method"},
      // main ending with an exception still counts as returned; the JVM prints the exception
      // when the thread detaches, so it must still be pending after the stop decision.
      {u"koru/fixture/Thrower", false, true, {"java.lang.IllegalStateException: boom from main"}, "Error:"},
      {u"koru/fixture/Thrower", true, true, {"java.lang.IllegalStateException: boom from main"}, "Error:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.mainClass) + (c.failureCheck ? " with Failure Check" : ""));
    ASSERT_NO_FATAL_FAILURE(SetUp());
    gLauncher->mainClassName = c.mainClass;
    gLauncher->failureCheck = c.failureCheck;
    CapturedOutput output;
    bool result = invokeMain(*gLauncher);
    bool detached = !attached();
    std::string text = output.finish();
    EXPECT_EQ(result, c.result);
    EXPECT_TRUE(detached);
    expectInOrder(text, c.output);
    EXPECT_EQ(text.find(c.absent), std::string::npos) << text;
    expectNoCheckWarning(text);
  }
}

TEST_F(SharedJvm, ExceptionTextIsWhatPrintStackTracePrints) {
  jclass traces = fixtureClass("koru/fixture/Traces");
  jmethodID make = env_->GetStaticMethodID(traces, "make", "()Ljava/lang/Throwable;");
  jmethodID render = env_->GetStaticMethodID(traces, "render", "(Ljava/lang/Throwable;)Ljava/lang/String;");
  auto throwable = static_cast<jthrowable>(env_->CallStaticObjectMethod(traces, make));
  ASSERT_FALSE(env_->ExceptionCheck());
  ASSERT_NE(throwable, nullptr);
  LocalRef<jstring> rendered(env_, static_cast<jstring>(env_->CallStaticObjectMethod(traces, render, throwable)));
  ASSERT_FALSE(env_->ExceptionCheck());
  ASSERT_TRUE(rendered);
  Text expected = javaText(env_, rendered.get());

  // Rendered as main left it: with the exception pending, which must stay pending.
  CapturedOutput output;
  env_->Throw(throwable);
  Text text = exceptionText(*gLauncher, throwable, env_);
  StopDecision decision = stopDecision(*gLauncher, throwable, env_);
  LocalRef<jthrowable> pending(env_, env_->ExceptionOccurred());
  env_->ExceptionClear();
  bool same = pending && env_->IsSameObject(pending.get(), throwable);
  std::string printed = output.finish();

  EXPECT_EQ(text, expected);
  EXPECT_TRUE(startsWith(text, u"java.lang.IllegalStateException: outer Gr\u00FC\u00DFe \U0001F600"));
  EXPECT_NE(text.find(u"Caused by: java.lang.UnsupportedOperationException: inner"), Text::npos);
  EXPECT_EQ(decision, StopDecision::carryOn);
  EXPECT_TRUE(same);
  // Rendering prints nothing by itself and makes no JNI call that -Xcheck:jni objects to.
  EXPECT_EQ(printed, "");
}

TEST_F(SharedJvm, JarAppendedToAnotherFileIsAClassPathEntry) {
  // The jar does not start the file: a binary comes first.
  EXPECT_EQ(readWhole(KORU_HOTSPOT_PACKED).substr(0, 4), "\x7F" "ELF");
  CapturedOutput output;
  jclass packed = env_->FindClass("koru/packed/Packed");
  Text hello;
  if (packed != nullptr) {
    jmethodID method = env_->GetStaticMethodID(packed, "hello", "()Ljava/lang/String;");
    LocalRef<jstring> answer(env_, static_cast<jstring>(env_->CallStaticObjectMethod(packed, method)));
    if (!env_->ExceptionCheck()) hello = javaText(env_, answer.get());
  } else {
    env_->ExceptionDescribe();
  }
  std::string text = output.finish();
  EXPECT_EQ(hello, u"hello from the appended jar") << text;
  expectNoCheckWarning(text);
}

bool endsWithBytes(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// --- Asking the Java program to stop ------------------------------------------------------------

// Runs callJavaStop on a new native thread, as a service's stop thread does, after waiting
// there for the static boolean waitFor of the main class to become true (when named); answers
// whether the thread was still attached to the JVM afterwards (and detaches it then).
bool callJavaStopOnOwnThread(JavaLauncher& launcher, const char* waitFor = nullptr) {
  JavaVM* vm = gLauncher->javaVm;
  bool attachedAfter = false;
  std::thread stopper([&] {
    void* env = nullptr;
    if (waitFor != nullptr && vm->AttachCurrentThread(&env, nullptr) == JNI_OK) {
      JNIEnv* jni = static_cast<JNIEnv*>(env);
      jclass mainClass = jni->FindClass(toUtf8(launcher.mainClassName).c_str());
      jfieldID field = mainClass != nullptr ? jni->GetStaticFieldID(mainClass, waitFor, "Z") : nullptr;
      for (int i = 0; field != nullptr && i < 3000 && !jni->GetStaticBooleanField(mainClass, field); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      jni->ExceptionClear();
      if (mainClass != nullptr) jni->DeleteLocalRef(mainClass);
      vm->DetachCurrentThread();
    }
    callJavaStop(launcher);
    attachedAfter = vm->GetEnv(&env, JNI_VERSION_1_2) == JNI_OK;
    if (attachedAfter) vm->DetachCurrentThread();
  });
  stopper.join();
  return attachedAfter;
}

TEST_F(SharedJvm, StopCallsTheStaticStopOnAThreadOfItsOwnAndMainReturns) {
  gLauncher->mainClassName = u"koru/fixture/Stoppable";
  CapturedOutput output;
  bool stopperAttachedAfter = true;
  std::thread stopper([&] { stopperAttachedAfter = callJavaStopOnOwnThread(*gLauncher, "waiting"); });
  // main waits for stop() (a minute at most) on this thread.
  bool result = invokeMain(*gLauncher);
  stopper.join();
  std::string text = output.finish();
  EXPECT_TRUE(result);
  EXPECT_FALSE(stopperAttachedAfter);
  EXPECT_EQ(text, "");
  expectNoCheckWarning(text);

  ASSERT_NO_FATAL_FAILURE(SetUp());
  jclass stoppable = fixtureClass("koru/fixture/Stoppable");
  auto longField = [&](const char* name) {
    return env_->GetStaticLongField(stoppable, env_->GetStaticFieldID(stoppable, name, "J"));
  };
  EXPECT_TRUE(env_->GetStaticBooleanField(stoppable, env_->GetStaticFieldID(stoppable, "released", "Z")));
  EXPECT_EQ(env_->GetStaticIntField(stoppable, env_->GetStaticFieldID(stoppable, "stopCalls", "I")), 1);
  EXPECT_NE(longField("stopThread"), longField("mainThread"));
  EXPECT_NE(longField("stopThread"), 0);
  env_->DeleteLocalRef(stoppable);
}

TEST_F(SharedJvm, StopWithoutStopMethodOrClassOnlyDescribesTheError) {
  struct Case {
    const char16_t* mainClass;
    bool ibmAccepted;
    std::string error;  // the one exception described, or empty
    bool attachedAfter;
  };
  const Case cases[] = {
      {u"koru/fixture/Echo", false, "java.lang.NoSuchMethodError: static Lkoru/fixture/Echo;.stop()V", false},
      {u"koru/fixture/Missing", false, "java.lang.NoClassDefFoundError: koru/fixture/Missing", false},
      // With IBM runtimes accepted the stop thread ends attached.
      {u"koru/fixture/Echo", true, "java.lang.NoSuchMethodError: static Lkoru/fixture/Echo;.stop()V", true},
      {u"koru/fixture/Stoppable", true, "", true},
  };
  jclass echo = fixtureClass("koru/fixture/Echo");
  jfieldID received = env_->GetStaticFieldID(echo, "received", "[Ljava/lang/String;");
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.mainClass) + (c.ibmAccepted ? " with IBM accepted" : ""));
    env_->SetStaticObjectField(echo, received, nullptr);
    gLauncher->mainClassName = c.mainClass;
    gLauncher->vmProvider.ibm.accepted = c.ibmAccepted;
    CapturedOutput output;
    bool attachedAfter = callJavaStopOnOwnThread(*gLauncher);
    std::string text = output.finish();
    gLauncher->vmProvider.ibm.accepted = false;
    EXPECT_EQ(attachedAfter, c.attachedAfter);
    if (c.error.empty()) {
      EXPECT_EQ(text, "");
    } else {
      // The exception of the stop thread, as the JVM describes it, and nothing before it.
      std::string firstLine = text.substr(0, text.find('\n'));
      EXPECT_EQ(firstLine.rfind("Exception in thread \"", 0), 0u) << text;
      EXPECT_TRUE(endsWithBytes(firstLine, "\" " + c.error)) << text;
    }
    expectNoCheckWarning(text);
    // Nothing else ran: main was not called.
    EXPECT_EQ(env_->GetStaticObjectField(echo, received), nullptr);
  }
  env_->DeleteLocalRef(echo);
}

// secondaryMain runs on a hand-over thread of its own; what it answers goes to the second
// instance.
TEST_F(SharedJvm, SecondaryMainGetsTheArgumentsAndGivesItsAnswer) {
  struct Case {
    const char16_t* mainClass;
    TextList handed;
    std::vector<jint> answers;
    std::string error;  // the exception described, or empty
    bool receives;
  };
  const Case cases[] = {
      {u"koru/fixture/SecondaryInt", {u"a", u"b c", u""}, {-4}, "", true},
      {u"koru/fixture/SecondaryVoid", {u"x"}, {0}, "", true},
      {u"koru/fixture/SecondaryInt", {u""}, {-2}, "", true},
      // No method, no class: no answer, and the failure is described.
      {u"koru/fixture/Echo", {u"x"}, {}, "java.lang.NoSuchMethodError", false},
      {u"koru/fixture/Missing", {u"x"}, {}, "java.lang.NoClassDefFoundError: koru/fixture/Missing", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(toUtf8(c.mainClass));
    jclass fixture = fixtureClass(c.receives ? toUtf8(c.mainClass).c_str() : "koru/fixture/SecondaryInt");
    jfieldID received = env_->GetStaticFieldID(fixture, "received", "[Ljava/lang/String;");
    env_->SetStaticObjectField(fixture, received, nullptr);
    gLauncher->mainClassName = c.mainClass;
    std::vector<jint> answers;
    bool attachedAfter = true;
    CapturedOutput output;
    std::thread handOver([&] {
      callSecondaryMain(*gLauncher, c.handed, [&](jint answer) { answers.push_back(answer); });
      void* env = nullptr;
      attachedAfter = gLauncher->javaVm->GetEnv(&env, JNI_VERSION_1_2) == JNI_OK;
    });
    handOver.join();
    std::string text = output.finish();
    EXPECT_EQ(answers, c.answers);
    EXPECT_FALSE(attachedAfter);
    expectNoCheckWarning(text);
    if (c.error.empty()) {
      EXPECT_EQ(text, "");
    } else {
      EXPECT_NE(text.find(c.error), std::string::npos) << text;
    }
    auto array = static_cast<jobjectArray>(env_->GetStaticObjectField(fixture, received));
    if (!c.receives) {
      EXPECT_EQ(array, nullptr);
    } else if (array == nullptr) {
      ADD_FAILURE() << "secondaryMain was not called";
    } else {
      TextList seen;
      for (jsize i = 0; i < env_->GetArrayLength(array); ++i) {
        auto element = static_cast<jstring>(env_->GetObjectArrayElement(array, i));
        const jchar* units = env_->GetStringChars(element, nullptr);
        seen.emplace_back(reinterpret_cast<const char16_t*>(units), env_->GetStringLength(element));
        env_->ReleaseStringChars(element, units);
        env_->DeleteLocalRef(element);
      }
      EXPECT_EQ(seen, c.handed);
      env_->DeleteLocalRef(array);
    }
    env_->DeleteLocalRef(fixture);
  }
}

TEST(JavaStop, DoesNothingWithoutJvm) {
  JavaLauncher launcher;
  launcher.mainClassName = u"koru/fixture/Stoppable";
  CapturedOutput output;
  callJavaStop(launcher);
  EXPECT_EQ(output.finish(), "");
  currentLauncher = gLauncher;
}

// The checks of the other tests are only as good as -Xcheck:jni's reports reaching them.
TEST_F(SharedJvm, CheckJniReportsMisuseIntoTheCapture) {
  CapturedOutput output;
  env_->FindClass("koru/fixture/Missing");
  jclass second = env_->FindClass("java/lang/String");  // called with an exception pending
  env_->ExceptionClear();
  if (second != nullptr) env_->DeleteLocalRef(second);
  EXPECT_NE(output.finish().find("WARNING"), std::string::npos);
}

// --- JVM library and creation without HotSpot ------------------------------------------------

TEST(JvmLibrary, RefusesLibrariesWithoutBothEntryPoints) {
  struct Case {
    std::string path;
    bool loaded;
    bool createEntry;
    std::string line;
  };
  const Case cases[] = {
      {"/nonexistent/libjvm.so", false, false,
       "Error: Failed to load Java VM library: /nonexistent/libjvm.so (errno = 126).\n \n"},
      {KORU_FAKE_JVM_DEFAULTS_ONLY, false, false,
       "Error: Windows exception: cannot find CreateJavaVM JNI (errno = 127).\n \n"},
      // JNI_CreateJavaVM alone is not enough.
      {KORU_FAKE_JVM_CREATE_ONLY, false, true,
       "Error: Windows exception: cannot find CreateJavaVM JNI (errno = 127).\n \n"},
      {kJvmLibrary, true, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    JavaLauncher launcher;
    launcher.jvmLibraryPath = fromUtf8(c.path);
    CapturedOutput output;
    bool loaded = loadJvmLibrary(launcher);
    EXPECT_EQ(output.finish(), c.line);
    EXPECT_EQ(loaded, c.loaded);
    EXPECT_EQ(launcher.createJavaVmEntry != nullptr, c.createEntry);
    EXPECT_EQ(launcher.defaultInitArgsEntry != nullptr, c.loaded);
  }
  currentLauncher = gLauncher;
}

struct SeenCreation {
  jint version = 0;
  std::vector<std::string> optionStrings;
  std::vector<void*> extraInfo;
  jboolean ignoreUnrecognized = JNI_TRUE;
};
SeenCreation gSeen;
jint gCreationResult = 0;

jint JNICALL fakeCreateJavaVm(JavaVM** vm, void** env, void* arguments) {
  auto* initArgs = static_cast<JavaVMInitArgs*>(arguments);
  gSeen = SeenCreation();
  gSeen.version = initArgs->version;
  gSeen.ignoreUnrecognized = initArgs->ignoreUnrecognized;
  for (jint i = 0; i < initArgs->nOptions; ++i) {
    gSeen.optionStrings.push_back(initArgs->options[i].optionString);
    gSeen.extraInfo.push_back(initArgs->options[i].extraInfo);
  }
  *vm = nullptr;
  *env = nullptr;
  return gCreationResult;
}

TEST(JvmCreation, HandsOverOptionsAndHooksAndReportsEachFailure) {
  struct Case {
    jint result;
    const char* reason;
  };
  const Case cases[] = {
      {JNI_ERR, "unknown"},           {JNI_EDETACHED, "thread detached from VM"},
      {JNI_EVERSION, "JNI version error"}, {JNI_ENOMEM, "not enough memory"},
      {JNI_EEXIST, "VM already created"},  {JNI_EINVAL, "invalid arguments"},
      {-7, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.result);
    JavaLauncher launcher;
    launcher.createJavaVmEntry = reinterpret_cast<void*>(&fakeCreateJavaVm);
    launcher.jvmOptions = {"-Dfirst=1", "-Xmx64m", "-Dlast=\xC3\xBC"};
    launcher.outputFile = u"/nonexistent-koru/out.log";
    gCreationResult = c.result;
    CapturedOutput output;
    bool created = createJvm(launcher);
    EXPECT_EQ(output.finish(), std::string("Error: JNI exception: failed to create the Java VM\nReason: ") +
                                   c.reason + ".\n \n");
    EXPECT_FALSE(created);
    EXPECT_EQ(launcher.javaVm, nullptr);
    EXPECT_EQ(gSeen.version, JNI_VERSION_1_2);
    EXPECT_EQ(gSeen.ignoreUnrecognized, JNI_FALSE);
    EXPECT_EQ(gSeen.optionStrings,
              (std::vector<std::string>{"-Dfirst=1", "-Xmx64m", "-Dlast=\xC3\xBC", "abort", "exit"}));
    EXPECT_EQ(gSeen.extraInfo, (std::vector<void*>{nullptr, nullptr, nullptr,
                                                  reinterpret_cast<void*>(&jvmAbortHook),
                                                  reinterpret_cast<void*>(&jvmExitHook)}));
  }
  currentLauncher = gLauncher;
}

// --- Child launchers -----------------------------------------------------------------------

// Forwards the JVM's hooks to the console, as a service host would forward them to the
// service control manager.
class PrintingListener : public JvmExitListener {
 public:
  void onJvmExit(int32_t code) override {
    std::printf("exit hook %d\n", code);
    std::fflush(stdout);
  }
  void onJvmAbort() override {
    std::printf("abort hook\n");
    std::fflush(stdout);
  }
};

// --child CLASS [--out=PATH] [--err=PATH] [--ibm] [--listener] [--stack=BYTES]
//         [--abort-on=EXCEPTION,ERRORFILE] [--call-exit]
// Runs the launcher's run step (load, then the Java main thread) and its teardown, printing
// what happened on the way. --call-exit instead creates the JVM on the calling thread and
// calls callSystemExit.
int runChild(int argc, char** argv) {
  uint32_t status = kExitFailure;
  {
    JavaLauncher launcher;
    PrintingListener listener;
    launcher.mainClassName = fromUtf8(argv[2]);
    launcher.jvmLibraryPath = fromUtf8(kJvmLibrary);
    launcher.jvmOptions = baseOptions();
    bool callExit = false;
    for (int i = 3; i < argc; ++i) {
      std::string option = argv[i];
      if (option.rfind("--out=", 0) == 0) launcher.outputFile = fromUtf8(option.substr(6));
      if (option.rfind("--err=", 0) == 0) launcher.errorFile = fromUtf8(option.substr(6));
      if (option == "--ibm") launcher.vmProvider.ibm.accepted = true;
      if (option == "--listener") launcher.exitListener = &listener;
      if (option.rfind("--stack=", 0) == 0) launcher.threadStackSize = std::stoull(option.substr(8));
      if (option == "--call-exit") callExit = true;
      if (option.rfind("--abort-on=", 0) == 0) {
        size_t comma = option.find(',');
        launcher.jvmOptions.push_back("-XX:+UnlockDiagnosticVMOptions");
        launcher.jvmOptions.push_back("-XX:AbortVMOnException=" + option.substr(11, comma - 11));
        launcher.jvmOptions.push_back("-XX:ErrorFile=" + option.substr(comma + 1));
        launcher.jvmOptions.push_back("-XX:-CreateCoredumpOnCrash");
      }
    }
    if (callExit) {
      if (loadJvmLibrary(launcher) && createJvm(launcher)) callSystemExit(launcher.jniEnv);
      std::printf("callSystemExit returned\n");
    } else if (loadJvmLibrary(launcher)) {
      status = runJavaMainThread(launcher) == 0 ? 0 : kExitFailure;
      std::printf("stack %llu\nrun result %d\n", static_cast<unsigned long long>(launcher.threadStackSize),
                  static_cast<int>(status));
      std::fflush(stdout);
    }
  }
  std::printf("teardown done\n");
  std::fflush(stdout);
  return static_cast<int>(status);
}

struct ChildRun {
  bool ended = false;
  int status = -1;
  std::string output;
};

// Runs this binary as a child launcher with its output in a file; a child that has not ended
// after two minutes counts as hanging and is killed.
ChildRun runChildLauncher(const std::vector<std::string>& arguments) {
  ChildRun run;
  char name[] = "/tmp/koru-child-XXXXXX";
  int file = mkstemp(name);
  std::vector<std::string> all = {"/proc/self/exe", "--child"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : all) argv.push_back(argument.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, file, 1);
  posix_spawn_file_actions_adddup2(&actions, file, 2);
  pid_t child = 0;
  int failed = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(file);
  if (failed == 0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        status = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    run.ended = status != -1 && WIFEXITED(status);
    run.status = run.ended ? WEXITSTATUS(status) : -1;
  }
  run.output = readWhole(name);
  unlink(name);
  return run;
}

TEST(LauncherProcess, FailedMainEndsTheRunWithFailureAfterTeardown) {
  // The Java main thread detaches on these paths too; otherwise DestroyJavaVM at teardown
  // would wait for it forever.
  const std::vector<std::string> cases[] = {
      {"Error: Could not find the main class koru/fixture/Missing.\n \n"},
      {"Error: No main method found in specified class.\n \n"},
  };
  const char* classes[] = {"koru/fixture/Missing", "koru/fixture/NoMain"};
  for (size_t i = 0; i < std::size(classes); ++i) {
    SCOPED_TRACE(classes[i]);
    ChildRun run = runChildLauncher({classes[i]});
    ASSERT_TRUE(run.ended) << "the launcher hung\n" << run.output;
    EXPECT_EQ(run.status, 255);  // -1
    expectInOrder(run.output, {cases[i][0], "run result -1", "teardown done"});
    expectNoCheckWarning(run.output);
  }
}

TEST(LauncherProcess, SystemExitEndsTheProcessWithItsCodeThroughTheHook) {
  ChildRun run = runChildLauncher({"koru/fixture/Exiter", "--listener"});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.output.find("exit hook 3\n"), std::string::npos) << run.output;
  // No launcher code runs after the hook.
  EXPECT_EQ(run.output.find("run result"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("teardown done"), std::string::npos) << run.output;
  expectNoCheckWarning(run.output);
}

TEST(LauncherProcess, TeardownWaitsForTheProgramsNonDaemonThreads) {
  ChildRun run = runChildLauncher({"koru/fixture/Lingering"});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.status, 0);
  // The run result exists once main returns; DestroyJavaVM then waits for the worker.
  expectInOrder(run.output, {"main returns", "stack 1048576\nrun result 0", "worker done", "teardown done"});
  expectNoCheckWarning(run.output);
}

TEST(LauncherProcess, IbmProviderEndsTheRunOnceTheProgramHasEnded) {
  // Without detaching, the Java main thread waits for the program itself; the run and the
  // teardown then end as usual instead of leaving the process running.
  struct Case {
    const char* mainClass;
    int status;
    std::vector<std::string> output;
  };
  const Case cases[] = {
      {"koru/fixture/Lingering", 0, {"main returns", "worker done", "run result 0", "teardown done"}},
      // What main throws is still printed.
      {"koru/fixture/Thrower", 0, {"java.lang.IllegalStateException: boom from main", "run result 0", "teardown done"}},
      {"koru/fixture/Missing", 255, {"Error: Could not find the main class", "run result -1", "teardown done"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mainClass);
    ChildRun run = runChildLauncher({c.mainClass, "--ibm"});
    ASSERT_TRUE(run.ended) << "the launcher hung\n" << run.output;
    EXPECT_EQ(run.status, c.status);
    expectInOrder(run.output, c.output);
    expectNoCheckWarning(run.output);
  }
}

TEST(LauncherProcess, ThreadThatCannotStartRunsMainOnTheCallingThread) {
  // No system gives a thread a stack of 4 EiB.
  ChildRun run = runChildLauncher({"koru/fixture/Printer", "--stack=4611686018427387904"});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.status, 0);
  expectInOrder(run.output, {"to out", "stack 4611686018427387904\nrun result 0", "teardown done"});
  expectNoCheckWarning(run.output);
}

TEST(LauncherProcess, CallSystemExitEndsTheProcessWithFailure) {
  ChildRun run = runChildLauncher({"unused", "--call-exit", "--listener"});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.status, 255);
  EXPECT_NE(run.output.find("exit hook -1\n"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("returned"), std::string::npos) << run.output;
  expectNoCheckWarning(run.output);
}

class LauncherProcessInFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/koru-hotspot-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + folder_).c_str()); }
  std::string folder_;
};

TEST_F(LauncherProcessInFolder, AbortReachesTheListenerThroughTheHook) {
  // A VM that aborts calls the "abort" hook before it ends the process.
  ChildRun run = runChildLauncher({"koru/fixture/Thrower", "--listener",
                                   "--abort-on=java.lang.IllegalStateException," + folder_ + "/hs_err_%p.log"});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.output.find("abort hook\n"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("run result"), std::string::npos) << run.output;
}

TEST_F(LauncherProcessInFolder, StandardStreamsGoToTheirFilesAndExistingFilesAreEmptied) {
  std::string out = folder_ + "/out.log";
  std::string err = folder_ + "/err.log";
  std::ofstream(out) << "old content that must go, longer than the new one\n";
  ChildRun run = runChildLauncher({"koru/fixture/Printer", "--out=" + out, "--err=" + err});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(readWhole(out), "to out\n");
  EXPECT_EQ(readWhole(err), "to err\n");
  EXPECT_EQ(run.output.find("to out"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("to err"), std::string::npos) << run.output;
  expectNoCheckWarning(run.output);
}

TEST_F(LauncherProcessInFolder, FailedRedirectionIsDescribedAndTheProgramStillRuns) {
  // A regular file where a folder should be: neither it nor the stream can be made.
  std::ofstream(folder_ + "/blocker") << "x";
  std::string out = folder_ + "/blocker/out.log";
  std::string err = folder_ + "/err.log";
  ChildRun run = runChildLauncher({"koru/fixture/Printer", "--out=" + out, "--err=" + err});
  ASSERT_TRUE(run.ended) << run.output;
  EXPECT_EQ(run.status, 0);
  // Standard output stays on the console; standard error is still redirected after it.
  expectInOrder(run.output, {"java.io.FileNotFoundException", "to out"});
  EXPECT_EQ(readWhole(err), "to err\n");
  expectNoCheckWarning(run.output);
}

}  // namespace
}  // namespace koru

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) return koru::runChild(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  // The launcher's teardown destroys the shared JVM once every test has run.
  koru::JavaLauncher launcher;
  koru::gLauncher = &launcher;
  return RUN_ALL_TESTS();
}
