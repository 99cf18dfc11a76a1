// A stand-in for a Java runtime's jvm.dll, for the end-to-end tests of koru.exe.
//
// It exports JNI_CreateJavaVM and JNI_GetDefaultJavaVMInitArgs and serves the JNI functions a
// launcher needs, keeping the JNI rules a real JVM relies on (one JNIEnv per thread, local
// references dead after DeleteLocalRef or detach, no calls but the exception functions while an
// exception is pending). A breach is logged as a "violation" line, which fails the test.
//
// Classes are looked up honestly: the main class must exist on the class path given in
// "-Djava.class.path=" (a folder holding NAME.class, or a Java archive, also one that follows
// another file's bytes, such as an executable, holding NAME.class).
//
// Beside itself it reads jvm.script and appends to jvm.log. The log holds one record per line,
// fields separated by tabs, in UTF-8 (option strings are read in the ANSI code page first); in
// fields, bytes below 0x20, '%' and 0x7F are written as %XX.
//   loaded PID | default-args VERSION | create THREAD | stack RESERVED-BYTES | physical-memory BYTES
//   version V | ignore B
//   option TEXT HOOK(0/1) | env NAME VALUE | env-unset NAME | cwd FOLDER | create-result N
//   findclass NAME found/missing | open FILE | setOut | setErr | main-begin ARGC | arg TEXT
//   main-end | exit CODE | exit-hook | exit-hook-returned | thread-start | thread-end
//   attach THREAD | detach THREAD | destroy-begin | destroy | describe EXCEPTION-LINE
//   stop THREAD | main-stopped | main-released | service-state WHERE STATE | unloaded
//   secondary-begin THREAD ARGC | secondary-arg TEXT | secondary-end
//   violation WHAT
// "unloaded" is the last record of a process that ends normally or through ExitProcess.
// The script holds one "key value" per line:
//   create_result N        answer of JNI_CreateJavaVM (default 0)
//   default_stack N        javaStackSize of JNI_GetDefaultJavaVMInitArgs (default 1048576)
//   main_method M          present (default), missing, or missing_throws (NoSuchMethodError)
//   detach_result N        answer of DetachCurrentThread (default 0)
//   exit_delay MS          System.exit waits MS milliseconds after the exit hook before the
//                          process ends, giving other threads time to act meanwhile
//   secondary_main M       the main class's static secondaryMain(String[]): missing (default),
//                          void (answers nothing) or int N (returns N)
//   stop_method M          the main class's static stop(): missing (default) or present;
//                          stop() logs its thread and releases a main that waits for it
//   service NAME           the service the process runs as: its state, as the service control
//                          manager reports it, is logged when main begins ("main-begin"), when
//                          stop() is called ("stop") and after the exit hook ("exit-hook")
//   log off                no log at all (for the benchmark)
//   main ACTION            what main does, in the order written:
//     echo                 prints every argument on a line of its own to System.out
//     print TEXT           prints TEXT on a line to System.out
//     exit N               System.exit(N): the "exit" hook, then the process ends with N
//     throw CLASS MESSAGE  main ends with that exception pending
//     thread MS TEXT       starts a non-daemon thread that prints TEXT after MS milliseconds
//     wait_stop            waits (a minute at most) until stop() has been called
//     wait_file NAME       waits (a minute at most) until the file NAME exists beside the stand-in
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#define _WIN32_WINNT 0x0A00
#include <windows.h>
#include <winsvc.h>

#define _JNI_IMPLEMENTATION_
#include <jni.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------------------------------------
// Text and files

std::string toUtf8(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &narrow[0], length, nullptr,
                      nullptr);
  return narrow;
}

std::wstring fromCodePage(UINT codePage, const std::string& narrow) {
  if (narrow.empty()) return std::wstring();
  int length = MultiByteToWideChar(codePage, 0, narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, narrow.data(), static_cast<int>(narrow.size()), &wide[0], length);
  return wide;
}

std::string toUtf8(const std::u16string& text) {
  return toUtf8(std::wstring(text.begin(), text.end()));
}

std::u16string toText(const std::wstring& wide) { return std::u16string(wide.begin(), wide.end()); }

std::string escapeField(const std::string& field) {
  static const char digits[] = "0123456789ABCDEF";
  std::string escaped;
  for (unsigned char c : field) {
    if (c < 0x20 || c == '%' || c == 0x7F) {
      escaped += '%';
      escaped += digits[c >> 4];
      escaped += digits[c & 15];
    } else {
      escaped += static_cast<char>(c);
    }
  }
  return escaped;
}

bool readWholeFile(const std::wstring& path, std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[65536];
  DWORD count = 0;
  while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) content.append(buffer, count);
  CloseHandle(file);
  return true;
}

void writeHandle(HANDLE handle, const std::string& bytes) {
  DWORD written = 0;
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE && !bytes.empty()) {
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

std::wstring ownFolder() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ownFolder), &self);
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// ---------------------------------------------------------------------------------------------
// Script and log

struct Script {
  jint createResult = 0;
  jint defaultStack = 1048576;
  std::string mainMethod = "present";
  jint detachResult = 0;
  DWORD exitDelay = 0;
  std::string stopMethod = "missing";
  std::string secondaryMain = "missing";
  std::wstring serviceName;
  bool log = true;
  std::vector<std::string> mainActions;
};

CRITICAL_SECTION lock;
HANDLE stopCalled = nullptr;  // set by the main class's stop()
Script script;
std::wstring folder;
HANDLE logFile = INVALID_HANDLE_VALUE;
bool started = false;

void logRecord(std::initializer_list<std::string> fields) {
  if (!script.log) return;
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += '\t';
    line += escapeField(field);
  }
  line += '\n';
  EnterCriticalSection(&lock);
  writeHandle(logFile, line);
  LeaveCriticalSection(&lock);
}

void violation(const std::string& what) { logRecord({"violation", what}); }

// The state of the process's own service, asked of the service control manager.
void logServiceState(const char* where) {
  if (script.serviceName.empty()) return;
  std::string state = "unknown";
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager != nullptr ? OpenServiceW(manager, script.serviceName.c_str(), SERVICE_QUERY_STATUS)
                                         : nullptr;
  SERVICE_STATUS status{};
  if (service != nullptr && QueryServiceStatus(service, &status)) state = std::to_string(status.dwCurrentState);
  if (service != nullptr) CloseServiceHandle(service);
  if (manager != nullptr) CloseServiceHandle(manager);
  logRecord({"service-state", where, state});
}

void startUp() {
  if (started) return;
  started = true;
  folder = ownFolder();
  std::string text;
  readWholeFile(folder + L"jvm.script", text);
  std::vector<std::string> problems;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t blank = line.find(' ');
    std::string key = line.substr(0, blank);
    std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    if (key == "create_result") script.createResult = std::atoi(value.c_str());
    else if (key == "default_stack") script.defaultStack = std::atoi(value.c_str());
    else if (key == "main_method") script.mainMethod = value;
    else if (key == "detach_result") script.detachResult = std::atoi(value.c_str());
    else if (key == "stop_method") script.stopMethod = value;
    else if (key == "secondary_main") script.secondaryMain = value;
    else if (key == "exit_delay") script.exitDelay = static_cast<DWORD>(std::atoi(value.c_str()));
    else if (key == "service") script.serviceName = fromCodePage(CP_UTF8, value);
    else if (key == "log") script.log = value != "off";
    else if (key == "main") script.mainActions.push_back(value);
    else problems.push_back("unknown script line: " + line);
  }
  if (script.log) {
    logFile = CreateFileW((folder + L"jvm.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          nullptr, OPEN_ALWAYS, 0, nullptr);
  }
  logRecord({"loaded", std::to_string(GetCurrentProcessId())});
  for (const std::string& problem : problems) violation(problem);
}

// ---------------------------------------------------------------------------------------------
// The object model: values shared by references; a JNI reference is a Ref.

enum class Kind { Class, String, CharArray, ObjectArray, FileStream, ByteStream, PrintStream, Throwable };

struct Value {
  Kind kind;
  std::string className;     // the class of an instance, or the class a Class value names
  std::u16string text;       // String, and the message of a Throwable
  std::vector<Value*> elements;
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string bytes;         // ByteStream
  Value* target = nullptr;   // PrintStream
};

struct Ref {
  Value* value;
  DWORD thread;
  bool live;
};

struct Method {
  std::string owner, name, signature;
  bool isStatic;
};

std::set<Ref*> references;
std::vector<Method*> methods;
thread_local Value* pendingException = nullptr;  // each thread has its own, as in a JVM
Value* standardOut = nullptr;  // a PrintStream installed with System.setOut, or null
Value* standardErr = nullptr;
int unreleasedStrings = 0;
std::vector<HANDLE> nonDaemonThreads;
std::vector<std::wstring> classPath;
std::set<std::string> throwableClasses;
std::set<DWORD> attachedThreads;
bool vmCreated = false;
DWORD creatorThread = 0;
void(JNICALL* exitHook)(jint) = nullptr;

Value* newValue(Kind kind, const std::string& className) {
  Value* value = new Value();
  value->kind = kind;
  value->className = className;
  return value;
}

jobject newRef(Value* value) {
  if (value == nullptr) return nullptr;
  Ref* ref = new Ref{value, GetCurrentThreadId(), true};
  references.insert(ref);
  return reinterpret_cast<jobject>(ref);
}

// The value behind a reference; a stale or foreign reference is a violation and reads as null.
Value* deref(jobject object, const char* function) {
  if (object == nullptr) return nullptr;
  Ref* ref = reinterpret_cast<Ref*>(object);
  if (references.count(ref) == 0) {
    violation(std::string(function) + ": not a reference");
    return nullptr;
  }
  if (!ref->live) {
    violation(std::string(function) + ": reference used after DeleteLocalRef or detach");
    return nullptr;
  }
  return ref->value;
}

void throwNew(const std::string& className, const std::string& message) {
  Value* exception = newValue(Kind::Throwable, className);
  throwableClasses.insert(className);
  exception->text = toText(fromCodePage(CP_UTF8, message));
  pendingException = exception;
}

std::string dotted(std::string name) {
  for (char& c : name) {
    if (c == '/') c = '.';
  }
  return name;
}

std::string describe(const Value* exception) {
  std::string line = dotted(exception->className);
  if (!exception->text.empty()) line += ": " + toUtf8(exception->text);
  return line + "\r\n";
}

// Writes to a Java stream: a PrintStream over a file or a byte stream, or, for null, the
// process's standard output or error.
void writeStream(Value* stream, DWORD standardHandle, const std::string& bytes) {
  if (stream == nullptr) {
    writeHandle(GetStdHandle(standardHandle), bytes);
    return;
  }
  Value* target = stream->kind == Kind::PrintStream ? stream->target : stream;
  if (target == nullptr) return;
  if (target->kind == Kind::FileStream) writeHandle(target->file, bytes);
  if (target->kind == Kind::ByteStream) target->bytes += bytes;
}

void printOut(const std::string& bytes) { writeStream(standardOut, STD_OUTPUT_HANDLE, bytes); }
void printErr(const std::string& bytes) { writeStream(standardErr, STD_ERROR_HANDLE, bytes); }

// ---------------------------------------------------------------------------------------------
// Class lookup on the class path

uint32_t read16(const std::string& data, size_t at) {
  return static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8;
}

uint32_t read32(const std::string& data, size_t at) { return read16(data, at) | read16(data, at + 2) << 16; }

// Whether a zip archive, possibly preceded by other bytes, holds an entry of that name. As a
// JVM does, the archive's start is found from its end record: every offset in it counts from
// the archive's first byte.
bool archiveHolds(const std::string& data, const std::string& entry) {
  if (data.size() < 22) return false;
  size_t lowest = data.size() > 22 + 65535 ? data.size() - 22 - 65535 : 0;
  for (size_t end = data.size() - 22 + 1; end-- > lowest;) {
    if (read32(data, end) != 0x06054b50) continue;
    uint64_t directorySize = read32(data, end + 12), directoryOffset = read32(data, end + 16);
    if (directorySize + directoryOffset > end) return false;
    size_t archiveStart = end - directorySize - directoryOffset;
    size_t at = archiveStart + directoryOffset;
    while (at + 46 <= end && read32(data, at) == 0x02014b50) {
      size_t nameLength = read16(data, at + 28);
      size_t next = at + 46 + nameLength + read16(data, at + 30) + read16(data, at + 32);
      if (next > end) return false;
      if (data.compare(at + 46, nameLength, entry) == 0) {
        size_t local = archiveStart + read32(data, at + 42);
        return local + 30 + nameLength <= data.size() && read32(data, local) == 0x04034b50 &&
               data.compare(local + 30, nameLength, entry) == 0;
      }
      at = next;
    }
    return false;
  }
  return false;
}

bool classOnClassPath(const std::string& name) {
  std::string entry = name + ".class";
  std::wstring relative = fromCodePage(CP_UTF8, entry);
  for (wchar_t& c : relative) {
    if (c == L'/') c = L'\\';
  }
  for (const std::wstring& element : classPath) {
    DWORD attributes = GetFileAttributesW(element.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (GetFileAttributesW((element + L"\\" + relative).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    } else {
      std::string data;
      if (readWholeFile(element, data) && archiveHolds(data, entry)) return true;
    }
  }
  return false;
}

// The Java runtime's own classes are all there; only their methods listed in methodExists work.
bool isJdkClass(const std::string& name) { return name.compare(0, 5, "java/") == 0; }

// ---------------------------------------------------------------------------------------------
// The Java side: what the known methods do

jvalue none() {
  jvalue result;
  result.j = 0;
  return result;
}

[[noreturn]] void systemExit(jint code) {
  logRecord({"exit", std::to_string(code)});
  if (exitHook != nullptr) {
    logRecord({"exit-hook"});
    exitHook(code);
    logRecord({"exit-hook-returned"});
    logServiceState("exit-hook");
  }
  if (script.exitDelay != 0) {
    // As a JVM ending the process: other threads go on meanwhile, JNI calls among them.
    LeaveCriticalSection(&lock);
    Sleep(script.exitDelay);
    EnterCriticalSection(&lock);
  }
  ExitProcess(static_cast<UINT>(code));
}

struct LateLine {
  DWORD delay;
  std::string text;
};

DWORD WINAPI nonDaemonThread(void* parameter) {
  LateLine* line = static_cast<LateLine*>(parameter);
  Sleep(line->delay);
  writeHandle(GetStdHandle(STD_OUTPUT_HANDLE), line->text + "\r\n");
  logRecord({"thread-end"});
  delete line;
  return 0;
}

void runMain(Value* arguments) {
  if (arguments == nullptr || arguments->kind != Kind::ObjectArray) {
    violation("main called without a String[]");
    throwNew("java/lang/NullPointerException", "");
    return;
  }
  logRecord({"main-begin", std::to_string(arguments->elements.size())});
  for (Value* argument : arguments->elements) {
    if (argument == nullptr || argument->kind != Kind::String) {
      violation("main argument is not a String");
      continue;
    }
    logRecord({"arg", toUtf8(argument->text)});
  }
  logServiceState("main-begin");
  for (const std::string& action : script.mainActions) {
    size_t blank = action.find(' ');
    std::string verb = action.substr(0, blank);
    std::string rest = blank == std::string::npos ? std::string() : action.substr(blank + 1);
    if (verb == "echo") {
      for (Value* argument : arguments->elements) {
        if (argument != nullptr) printOut(toUtf8(argument->text) + "\r\n");
      }
    } else if (verb == "print") {
      printOut(rest + "\r\n");
    } else if (verb == "exit") {
      systemExit(std::atoi(rest.c_str()));
    } else if (verb == "throw") {
      size_t split = rest.find(' ');
      throwNew(rest.substr(0, split), split == std::string::npos ? std::string() : rest.substr(split + 1));
      logRecord({"main-end"});
      return;
    } else if (verb == "thread") {
      size_t split = rest.find(' ');
      LateLine* line = new LateLine{static_cast<DWORD>(std::atoi(rest.substr(0, split).c_str())),
                                    split == std::string::npos ? std::string() : rest.substr(split + 1)};
      HANDLE thread = CreateThread(nullptr, 0, nonDaemonThread, line, 0, nullptr);
      if (thread != nullptr) nonDaemonThreads.push_back(thread);
      logRecord({"thread-start"});
    } else if (verb == "wait_stop" || verb == "wait_file") {
      // A waiting Java thread lets other threads call into the JVM meanwhile.
      std::wstring path = folder + fromCodePage(CP_UTF8, rest);
      LeaveCriticalSection(&lock);
      bool done = false;
      if (verb == "wait_stop") {
        done = WaitForSingleObject(stopCalled, 60000) == WAIT_OBJECT_0;
      } else {
        for (int i = 0; i < 1200 && !done; ++i) {
          done = GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
          if (!done) Sleep(50);
        }
      }
      EnterCriticalSection(&lock);
      if (done) logRecord({verb == "wait_stop" ? "main-stopped" : "main-released"});
      else violation("main waited a minute in vain: " + action);
    } else {
      violation("unknown main action: " + action);
    }
  }
  logRecord({"main-end"});
}

// Runs a known method. Arguments arrive as jvalues in signature order.
jvalue invoke(const Method* method, Value* receiver, const std::vector<jvalue>& args,
              const char* function) {
  const std::string& name = method->name;
  const std::string& owner = method->owner;
  auto object = [&](size_t index) { return deref(args[index].l, function); };
  if (owner == "java/lang/String" && name == "<init>") {
    Value* chars = object(0);
    Value* string = newValue(Kind::String, "java/lang/String");
    if (chars != nullptr) string->text = chars->text;
    jvalue result;
    result.l = newRef(string);
    return result;
  }
  if (owner == "java/io/FileOutputStream" && name == "<init>") {
    Value* path = object(0);
    if (path == nullptr) {
      throwNew("java/lang/NullPointerException", "");
      return none();
    }
    std::wstring widePath(path->text.begin(), path->text.end());
    logRecord({"open", toUtf8(path->text)});
    HANDLE file = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      throwNew("java/io/FileNotFoundException",
               toUtf8(path->text) + " (The system cannot find the path specified)");
      return none();
    }
    Value* stream = newValue(Kind::FileStream, owner);
    stream->file = file;
    jvalue result;
    result.l = newRef(stream);
    return result;
  }
  if (owner == "java/io/ByteArrayOutputStream" && name == "<init>") {
    jvalue result;
    result.l = newRef(newValue(Kind::ByteStream, owner));
    return result;
  }
  if (owner == "java/io/ByteArrayOutputStream" && name == "toString") {
    Value* string = newValue(Kind::String, "java/lang/String");
    // The bytes are UTF-8: the stand-in's streams write UTF-8, whatever encoding is named.
    string->text = toText(fromCodePage(CP_UTF8, receiver->bytes));
    jvalue result;
    result.l = newRef(string);
    return result;
  }
  if (owner == "java/io/PrintStream" && name == "<init>") {
    Value* target = object(0);
    if (target == nullptr) {
      throwNew("java/lang/NullPointerException", "");
      return none();
    }
    Value* stream = newValue(Kind::PrintStream, owner);
    stream->target = target;
    jvalue result;
    result.l = newRef(stream);
    return result;
  }
  if (name == "printStackTrace") {
    writeStream(object(0), STD_ERROR_HANDLE, describe(receiver) + "\tat Main.main(Main.java)\r\n");
    return none();
  }
  if (owner == "java/lang/System" && name == "exit") systemExit(args[0].i);
  if (owner == "java/lang/System" && (name == "setOut" || name == "setErr")) {
    Value* stream = object(0);
    logRecord({name});
    (name == "setOut" ? standardOut : standardErr) = stream;
    return none();
  }
  if (name == "stop") {
    if (GetCurrentThreadId() == creatorThread) violation("stop() called on the thread that runs main");
    logRecord({"stop", std::to_string(GetCurrentThreadId())});
    logServiceState("stop");
    SetEvent(stopCalled);
    return none();
  }
  if (name == "secondaryMain") {
    if (GetCurrentThreadId() == creatorThread) violation("secondaryMain called on the thread that runs main");
    Value* arguments = object(0);
    if (arguments == nullptr || arguments->kind != Kind::ObjectArray) {
      violation("secondaryMain called without a String[]");
      return none();
    }
    logRecord({"secondary-begin", std::to_string(GetCurrentThreadId()), std::to_string(arguments->elements.size())});
    for (Value* argument : arguments->elements) {
      if (argument == nullptr || argument->kind != Kind::String) violation("secondaryMain argument is not a String");
      else logRecord({"secondary-arg", toUtf8(argument->text)});
    }
    logRecord({"secondary-end"});
    jvalue result;
    result.i = script.secondaryMain.compare(0, 4, "int ") == 0 ? std::atoi(script.secondaryMain.c_str() + 4) : 0;
    return result;
  }
  if (name == "main") {
    if (GetCurrentThreadId() != creatorThread) violation("main runs on another thread than JNI_CreateJavaVM");
    runMain(object(0));
    return none();
  }
  violation("no behaviour for " + owner + "." + name + method->signature);
  return none();
}

// The parameter types of a method signature, one letter each ('L' for any reference).
std::string parameterKinds(const std::string& signature) {
  std::string kinds;
  size_t i = 1;
  while (i < signature.size() && signature[i] != ')') {
    char c = signature[i];
    if (c == '[') {
      while (i < signature.size() && signature[i] == '[') ++i;
      if (i < signature.size() && signature[i] == 'L') i = signature.find(';', i);
      kinds += 'L';
    } else if (c == 'L') {
      i = signature.find(';', i);
      kinds += 'L';
    } else {
      kinds += c;
    }
    if (i == std::string::npos) break;
    ++i;
  }
  return kinds;
}

std::vector<jvalue> argumentsFromList(const Method* method, va_list list) {
  std::vector<jvalue> args;
  for (char kind : parameterKinds(method->signature)) {
    jvalue value;
    value.j = 0;
    switch (kind) {
      case 'L': value.l = va_arg(list, jobject); break;
      case 'J': value.j = va_arg(list, jlong); break;
      case 'F': value.f = static_cast<jfloat>(va_arg(list, double)); break;
      case 'D': value.d = va_arg(list, double); break;
      default: value.i = va_arg(list, jint); break;
    }
    args.push_back(value);
  }
  return args;
}

std::vector<jvalue> argumentsFromArray(const Method* method, const jvalue* array) {
  size_t count = parameterKinds(method->signature).size();
  return std::vector<jvalue>(array, array + count);
}

// ---------------------------------------------------------------------------------------------
// JNIEnv: one per thread

struct ThreadState {
  JNIEnv env;
  bool attached;
};

thread_local ThreadState threadState{};
JNINativeInterface_ nativeInterface;
JNIInvokeInterface_ invokeInterface;
JavaVM javaVm;

// Every JNI entry checks its JNIEnv and the pending-exception rule, and holds the lock.
class Entry {
 public:
  Entry(JNIEnv* env, const char* function, bool allowedWithException = false) {
    EnterCriticalSection(&lock);
    if (env != &threadState.env || !threadState.attached) {
      violation(std::string(function) + ": JNIEnv of another thread, or of a detached thread");
    }
    if (pendingException != nullptr && !allowedWithException) {
      violation(std::string(function) + " called with an exception pending");
    }
  }
  ~Entry() { LeaveCriticalSection(&lock); }
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;
};

jint JNICALL getVersion(JNIEnv* env) {
  Entry entry(env, "GetVersion");
  return JNI_VERSION_10;
}

jclass JNICALL findClass(JNIEnv* env, const char* name) {
  Entry entry(env, "FindClass");
  std::string className = name == nullptr ? std::string() : name;
  bool found = isJdkClass(className) || classOnClassPath(className);
  if (!isJdkClass(className)) logRecord({"findclass", className, found ? "found" : "missing"});
  if (!found) {
    throwNew("java/lang/NoClassDefFoundError", className);
    return nullptr;
  }
  return reinterpret_cast<jclass>(newRef(newValue(Kind::Class, className)));
}

jclass JNICALL getObjectClass(JNIEnv* env, jobject object) {
  Entry entry(env, "GetObjectClass");
  Value* value = deref(object, "GetObjectClass");
  if (value == nullptr) {
    violation("GetObjectClass of null");
    return nullptr;
  }
  return reinterpret_cast<jclass>(newRef(newValue(Kind::Class, value->className)));
}

bool methodExists(const std::string& owner, const std::string& name, const std::string& signature,
                  bool isStatic) {
  static const struct {
    const char* owner;
    const char* name;
    const char* signature;
    bool isStatic;
  } known[] = {
      {"java/lang/String", "<init>", "([C)V", false},
      {"java/io/FileOutputStream", "<init>", "(Ljava/lang/String;)V", false},
      {"java/io/PrintStream", "<init>", "(Ljava/io/OutputStream;)V", false},
      {"java/io/PrintStream", "<init>", "(Ljava/io/OutputStream;ZLjava/lang/String;)V", false},
      {"java/io/ByteArrayOutputStream", "<init>", "()V", false},
      {"java/io/ByteArrayOutputStream", "toString", "()Ljava/lang/String;", false},
      {"java/io/ByteArrayOutputStream", "toString", "(Ljava/lang/String;)Ljava/lang/String;", false},
      {"java/lang/System", "exit", "(I)V", true},
      {"java/lang/System", "setOut", "(Ljava/io/PrintStream;)V", true},
      {"java/lang/System", "setErr", "(Ljava/io/PrintStream;)V", true},
  };
  for (const auto& method : known) {
    if (owner == method.owner && name == method.name && signature == method.signature &&
        isStatic == method.isStatic) {
      return true;
    }
  }
  if (!isJdkClass(owner) && throwableClasses.count(owner) == 0 && isStatic && name == "main" &&
      signature == "([Ljava/lang/String;)V") {
    return script.mainMethod == "present";
  }
  if (!isJdkClass(owner) && throwableClasses.count(owner) == 0 && isStatic && name == "stop" &&
      signature == "()V") {
    return script.stopMethod == "present";
  }
  if (!isJdkClass(owner) && throwableClasses.count(owner) == 0 && isStatic && name == "secondaryMain") {
    if (signature == "([Ljava/lang/String;)V") return script.secondaryMain == "void";
    if (signature == "([Ljava/lang/String;)I") return script.secondaryMain.compare(0, 4, "int ") == 0;
  }
  // Every exception class has printStackTrace.
  return !isStatic && name == "printStackTrace" && signature == "(Ljava/io/PrintStream;)V" &&
         throwableClasses.count(owner) != 0;
}

jmethodID lookUpMethod(jclass type, const char* name, const char* signature, bool isStatic,
                       const char* function) {
  Value* owner = deref(type, function);
  if (owner == nullptr || owner->kind != Kind::Class || name == nullptr || signature == nullptr) {
    violation(std::string(function) + " without a class, name or signature");
    return nullptr;
  }
  if (!methodExists(owner->className, name, signature, isStatic)) {
    bool mainMissingQuietly = std::string(name) == "main" && script.mainMethod == "missing";
    if (!mainMissingQuietly) throwNew("java/lang/NoSuchMethodError", name);
    return nullptr;
  }
  Method* method = new Method{owner->className, name, signature, isStatic};
  methods.push_back(method);
  return reinterpret_cast<jmethodID>(method);
}

jmethodID JNICALL getMethodId(JNIEnv* env, jclass type, const char* name, const char* signature) {
  Entry entry(env, "GetMethodID");
  return lookUpMethod(type, name, signature, false, "GetMethodID");
}

jmethodID JNICALL getStaticMethodId(JNIEnv* env, jclass type, const char* name, const char* signature) {
  Entry entry(env, "GetStaticMethodID");
  return lookUpMethod(type, name, signature, true, "GetStaticMethodID");
}

const Method* checkedMethod(jmethodID id, bool isStatic, const char* function) {
  const Method* method = reinterpret_cast<const Method*>(id);
  bool known = false;
  for (const Method* candidate : methods) known = known || candidate == method;
  if (!known || method->isStatic != isStatic) {
    violation(std::string(function) + ": not a method ID of that kind");
    return nullptr;
  }
  return method;
}

// The shared body of the New/Call families once the arguments are read.
jvalue callStatic(jclass type, jmethodID id, const std::vector<jvalue>& args, const char* function) {
  const Method* method = reinterpret_cast<const Method*>(id);
  Value* owner = deref(type, function);
  if (owner == nullptr || owner->kind != Kind::Class || owner->className != method->owner) {
    violation(std::string(function) + ": class does not own the method");
  }
  return invoke(method, nullptr, args, function);
}

jvalue callInstance(jobject object, jmethodID id, const std::vector<jvalue>& args, const char* function) {
  const Method* method = reinterpret_cast<const Method*>(id);
  Value* receiver = deref(object, function);
  if (receiver == nullptr) {
    violation(std::string(function) + " on null");
    return none();
  }
  return invoke(method, receiver, args, function);
}

jobject newObject(jclass type, jmethodID id, const std::vector<jvalue>& args, const char* function) {
  const Method* method = reinterpret_cast<const Method*>(id);
  Value* owner = deref(type, function);
  if (method->name != "<init>" || owner == nullptr || owner->className != method->owner) {
    violation(std::string(function) + " with a method that is no constructor of that class");
  }
  return invoke(method, nullptr, args, function).l;
}

#define KORU_METHOD_OR_RETURN(id, isStatic, name, failure)   \
  const Method* method = checkedMethod(id, isStatic, name); \
  if (method == nullptr) return failure

jobject JNICALL newObjectV(JNIEnv* env, jclass type, jmethodID id, va_list list) {
  Entry entry(env, "NewObjectV");
  KORU_METHOD_OR_RETURN(id, false, "NewObjectV", nullptr);
  return newObject(type, id, argumentsFromList(method, list), "NewObjectV");
}

jobject JNICALL newObjectVariadic(JNIEnv* env, jclass type, jmethodID id, ...) {
  va_list list;
  va_start(list, id);
  jobject result = newObjectV(env, type, id, list);
  va_end(list);
  return result;
}

jobject JNICALL newObjectA(JNIEnv* env, jclass type, jmethodID id, const jvalue* array) {
  Entry entry(env, "NewObjectA");
  KORU_METHOD_OR_RETURN(id, false, "NewObjectA", nullptr);
  return newObject(type, id, argumentsFromArray(method, array), "NewObjectA");
}

void JNICALL callStaticVoidMethodV(JNIEnv* env, jclass type, jmethodID id, va_list list) {
  Entry entry(env, "CallStaticVoidMethodV");
  KORU_METHOD_OR_RETURN(id, true, "CallStaticVoidMethodV", );
  callStatic(type, id, argumentsFromList(method, list), "CallStaticVoidMethodV");
}

void JNICALL callStaticVoidMethod(JNIEnv* env, jclass type, jmethodID id, ...) {
  va_list list;
  va_start(list, id);
  callStaticVoidMethodV(env, type, id, list);
  va_end(list);
}

void JNICALL callStaticVoidMethodA(JNIEnv* env, jclass type, jmethodID id, const jvalue* array) {
  Entry entry(env, "CallStaticVoidMethodA");
  KORU_METHOD_OR_RETURN(id, true, "CallStaticVoidMethodA", );
  callStatic(type, id, argumentsFromArray(method, array), "CallStaticVoidMethodA");
}

jint JNICALL callStaticIntMethodV(JNIEnv* env, jclass type, jmethodID id, va_list list) {
  Entry entry(env, "CallStaticIntMethodV");
  KORU_METHOD_OR_RETURN(id, true, "CallStaticIntMethodV", 0);
  return callStatic(type, id, argumentsFromList(method, list), "CallStaticIntMethodV").i;
}

jint JNICALL callStaticIntMethod(JNIEnv* env, jclass type, jmethodID id, ...) {
  va_list list;
  va_start(list, id);
  jint result = callStaticIntMethodV(env, type, id, list);
  va_end(list);
  return result;
}

jint JNICALL callStaticIntMethodA(JNIEnv* env, jclass type, jmethodID id, const jvalue* array) {
  Entry entry(env, "CallStaticIntMethodA");
  KORU_METHOD_OR_RETURN(id, true, "CallStaticIntMethodA", 0);
  return callStatic(type, id, argumentsFromArray(method, array), "CallStaticIntMethodA").i;
}

void JNICALL callVoidMethodV(JNIEnv* env, jobject object, jmethodID id, va_list list) {
  Entry entry(env, "CallVoidMethodV");
  KORU_METHOD_OR_RETURN(id, false, "CallVoidMethodV", );
  callInstance(object, id, argumentsFromList(method, list), "CallVoidMethodV");
}

void JNICALL callVoidMethod(JNIEnv* env, jobject object, jmethodID id, ...) {
  va_list list;
  va_start(list, id);
  callVoidMethodV(env, object, id, list);
  va_end(list);
}

void JNICALL callVoidMethodA(JNIEnv* env, jobject object, jmethodID id, const jvalue* array) {
  Entry entry(env, "CallVoidMethodA");
  KORU_METHOD_OR_RETURN(id, false, "CallVoidMethodA", );
  callInstance(object, id, argumentsFromArray(method, array), "CallVoidMethodA");
}

jobject JNICALL callObjectMethodV(JNIEnv* env, jobject object, jmethodID id, va_list list) {
  Entry entry(env, "CallObjectMethodV");
  KORU_METHOD_OR_RETURN(id, false, "CallObjectMethodV", nullptr);
  return callInstance(object, id, argumentsFromList(method, list), "CallObjectMethodV").l;
}

jobject JNICALL callObjectMethod(JNIEnv* env, jobject object, jmethodID id, ...) {
  va_list list;
  va_start(list, id);
  jobject result = callObjectMethodV(env, object, id, list);
  va_end(list);
  return result;
}

jobject JNICALL callObjectMethodA(JNIEnv* env, jobject object, jmethodID id, const jvalue* array) {
  Entry entry(env, "CallObjectMethodA");
  KORU_METHOD_OR_RETURN(id, false, "CallObjectMethodA", nullptr);
  return callInstance(object, id, argumentsFromArray(method, array), "CallObjectMethodA").l;
}

jobjectArray JNICALL newObjectArray(JNIEnv* env, jsize length, jclass type, jobject initial) {
  Entry entry(env, "NewObjectArray");
  Value* elementClass = deref(type, "NewObjectArray");
  if (elementClass == nullptr || elementClass->kind != Kind::Class || length < 0) {
    violation("NewObjectArray without a class or with a negative length");
    return nullptr;
  }
  Value* array = newValue(Kind::ObjectArray, "[L" + elementClass->className + ";");
  array->elements.assign(static_cast<size_t>(length), deref(initial, "NewObjectArray"));
  return reinterpret_cast<jobjectArray>(newRef(array));
}

void JNICALL setObjectArrayElement(JNIEnv* env, jobjectArray arrayRef, jsize index, jobject element) {
  Entry entry(env, "SetObjectArrayElement");
  Value* array = deref(arrayRef, "SetObjectArrayElement");
  if (array == nullptr || array->kind != Kind::ObjectArray) {
    violation("SetObjectArrayElement on something that is no object array");
    return;
  }
  if (index < 0 || static_cast<size_t>(index) >= array->elements.size()) {
    throwNew("java/lang/ArrayIndexOutOfBoundsException", std::to_string(index));
    return;
  }
  array->elements[static_cast<size_t>(index)] = deref(element, "SetObjectArrayElement");
}

jcharArray JNICALL newCharArray(JNIEnv* env, jsize length) {
  Entry entry(env, "NewCharArray");
  if (length < 0) {
    throwNew("java/lang/NegativeArraySizeException", std::to_string(length));
    return nullptr;
  }
  Value* array = newValue(Kind::CharArray, "[C");
  array->text.assign(static_cast<size_t>(length), u'\0');
  return reinterpret_cast<jcharArray>(newRef(array));
}

void JNICALL setCharArrayRegion(JNIEnv* env, jcharArray arrayRef, jsize start, jsize length,
                                const jchar* buffer) {
  Entry entry(env, "SetCharArrayRegion");
  Value* array = deref(arrayRef, "SetCharArrayRegion");
  if (array == nullptr || array->kind != Kind::CharArray) {
    violation("SetCharArrayRegion on something that is no char array");
    return;
  }
  if (start < 0 || length < 0 || static_cast<size_t>(start) + static_cast<size_t>(length) > array->text.size()) {
    throwNew("java/lang/ArrayIndexOutOfBoundsException", std::to_string(start));
    return;
  }
  for (jsize i = 0; i < length; ++i) array->text[static_cast<size_t>(start + i)] = buffer[i];
}

// Modified UTF-8, as the JVM hands out string characters.
std::string modifiedUtf8(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    if (unit != 0 && unit < 0x80) {
      bytes += static_cast<char>(unit);
    } else if (unit < 0x800) {
      bytes += static_cast<char>(0xC0 | (unit >> 6));
      bytes += static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      bytes += static_cast<char>(0xE0 | (unit >> 12));
      bytes += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return bytes;
}

const char* JNICALL getStringUtfChars(JNIEnv* env, jstring string, jboolean* isCopy) {
  Entry entry(env, "GetStringUTFChars");
  Value* value = deref(string, "GetStringUTFChars");
  if (value == nullptr || value->kind != Kind::String) {
    violation("GetStringUTFChars on something that is no String");
    return nullptr;
  }
  std::string bytes = modifiedUtf8(value->text);
  char* copy = static_cast<char*>(std::malloc(bytes.size() + 1));
  std::memcpy(copy, bytes.c_str(), bytes.size() + 1);
  if (isCopy != nullptr) *isCopy = JNI_TRUE;
  ++unreleasedStrings;
  return copy;
}

void JNICALL releaseStringUtfChars(JNIEnv* env, jstring string, const char* chars) {
  Entry entry(env, "ReleaseStringUTFChars", true);
  deref(string, "ReleaseStringUTFChars");
  --unreleasedStrings;
  std::free(const_cast<char*>(chars));
}

jstring JNICALL newStringUtf(JNIEnv* env, const char* bytes) {
  Entry entry(env, "NewStringUTF");
  if (bytes == nullptr) return nullptr;
  Value* string = newValue(Kind::String, "java/lang/String");
  string->text = toText(fromCodePage(CP_UTF8, bytes));
  return reinterpret_cast<jstring>(newRef(string));
}

jboolean JNICALL isInstanceOf(JNIEnv* env, jobject object, jclass type) {
  Entry entry(env, "IsInstanceOf");
  Value* value = deref(object, "IsInstanceOf");
  Value* typeValue = deref(type, "IsInstanceOf");
  if (typeValue == nullptr || typeValue->kind != Kind::Class) {
    violation("IsInstanceOf without a class");
    return JNI_FALSE;
  }
  if (value == nullptr) return JNI_TRUE;  // null is an instance of every class
  const std::string& name = typeValue->className;
  bool stream = value->kind == Kind::FileStream || value->kind == Kind::ByteStream ||
                value->kind == Kind::PrintStream;
  return value->className == name || name == "java/lang/Object" ||
                 (value->kind == Kind::Throwable && name == "java/lang/Throwable") ||
                 (stream && name == "java/io/OutputStream")
             ? JNI_TRUE
             : JNI_FALSE;
}

jsize JNICALL getStringLength(JNIEnv* env, jstring string) {
  Entry entry(env, "GetStringLength");
  Value* value = deref(string, "GetStringLength");
  if (value == nullptr || value->kind != Kind::String) {
    violation("GetStringLength on something that is no String");
    return 0;
  }
  return static_cast<jsize>(value->text.size());
}

void JNICALL getStringRegion(JNIEnv* env, jstring string, jsize start, jsize length, jchar* buffer) {
  Entry entry(env, "GetStringRegion");
  Value* value = deref(string, "GetStringRegion");
  if (value == nullptr || value->kind != Kind::String) {
    violation("GetStringRegion on something that is no String");
    return;
  }
  if (start < 0 || length < 0 || static_cast<size_t>(start) + static_cast<size_t>(length) > value->text.size()) {
    throwNew("java/lang/StringIndexOutOfBoundsException", std::to_string(start));
    return;
  }
  for (jsize i = 0; i < length; ++i) buffer[i] = value->text[static_cast<size_t>(start + i)];
}

jthrowable JNICALL exceptionOccurred(JNIEnv* env) {
  Entry entry(env, "ExceptionOccurred", true);
  return reinterpret_cast<jthrowable>(newRef(pendingException));
}

jboolean JNICALL exceptionCheck(JNIEnv* env) {
  Entry entry(env, "ExceptionCheck", true);
  return pendingException != nullptr ? JNI_TRUE : JNI_FALSE;
}

void JNICALL exceptionDescribe(JNIEnv* env) {
  Entry entry(env, "ExceptionDescribe", true);
  if (pendingException == nullptr) return;
  std::string line = describe(pendingException);
  logRecord({"describe", line.substr(0, line.size() - 2)});
  printErr(line);
  pendingException = nullptr;
}

void JNICALL exceptionClear(JNIEnv* env) {
  Entry entry(env, "ExceptionClear", true);
  pendingException = nullptr;
}

jint JNICALL throwException(JNIEnv* env, jthrowable exception) {
  Entry entry(env, "Throw", true);
  Value* value = deref(exception, "Throw");
  if (value == nullptr || value->kind != Kind::Throwable) {
    violation("Throw of something that is no Throwable");
    return JNI_ERR;
  }
  pendingException = value;
  return JNI_OK;
}

void JNICALL deleteLocalRef(JNIEnv* env, jobject object) {
  Entry entry(env, "DeleteLocalRef", true);
  if (object == nullptr) return;
  if (deref(object, "DeleteLocalRef") != nullptr) reinterpret_cast<Ref*>(object)->live = false;
}

// A slot that the stand-in does not serve: the call is recorded and answers zero.
template <int Slot>
void* JNICALL unexpectedCall(void*) {
  violation("unexpected call of JNI function slot " + std::to_string(Slot));
  return nullptr;
}

template <int... Slots>
void fillUnexpected(void** slots, std::integer_sequence<int, Slots...>) {
  ((slots[Slots] = reinterpret_cast<void*>(&unexpectedCall<Slots>)), ...);
}

// ---------------------------------------------------------------------------------------------
// The invocation interface

jint JNICALL destroyJavaVm(JavaVM* vm) {
  if (vm != &javaVm) violation("DestroyJavaVM on another JavaVM");
  logRecord({"destroy-begin"});
  // A JVM counts an attached thread as running until it detaches, even after it has ended, and
  // would wait for it here forever. One that is about to detach is waited for (ten seconds).
  for (int i = 0; i < 200; ++i) {
    EnterCriticalSection(&lock);
    bool othersAttached = attachedThreads.size() > attachedThreads.count(GetCurrentThreadId());
    LeaveCriticalSection(&lock);
    if (!othersAttached) break;
    Sleep(50);
  }
  EnterCriticalSection(&lock);
  for (DWORD thread : attachedThreads) {
    if (thread != GetCurrentThreadId()) {
      violation("DestroyJavaVM while thread " + std::to_string(thread) +
                " is still attached: a JVM would wait for it forever");
    }
  }
  LeaveCriticalSection(&lock);
  // The JVM returns only when the last non-daemon thread has ended.
  for (HANDLE thread : nonDaemonThreads) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  nonDaemonThreads.clear();
  logRecord({"destroy"});
  return JNI_OK;
}

jint JNICALL attachCurrentThread(JavaVM* vm, void** env, void* arguments) {
  if (vm != &javaVm) violation("AttachCurrentThread on another JavaVM");
  (void)arguments;
  logRecord({"attach", std::to_string(GetCurrentThreadId())});
  threadState.env.functions = &nativeInterface;
  threadState.attached = true;
  EnterCriticalSection(&lock);
  attachedThreads.insert(GetCurrentThreadId());
  LeaveCriticalSection(&lock);
  *env = &threadState.env;
  return JNI_OK;
}

jint JNICALL detachCurrentThread(JavaVM* vm) {
  if (vm != &javaVm) violation("DetachCurrentThread on another JavaVM");
  EnterCriticalSection(&lock);
  logRecord({"detach", std::to_string(GetCurrentThreadId())});
  if (!threadState.attached) violation("DetachCurrentThread of a thread that is not attached");
  // As a JVM does for a thread that ends with an uncaught exception.
  if (pendingException != nullptr) {
    printErr("Exception in thread \"main\" " + describe(pendingException));
    pendingException = nullptr;
  }
  if (unreleasedStrings != 0) violation("string characters not released before detach");
  DWORD self = GetCurrentThreadId();
  for (Ref* ref : references) {
    if (ref->thread == self) ref->live = false;
  }
  threadState.attached = false;
  attachedThreads.erase(self);
  LeaveCriticalSection(&lock);
  return script.detachResult;
}

jint JNICALL getEnv(JavaVM* vm, void** env, jint version) {
  if (vm != &javaVm) violation("GetEnv on another JavaVM");
  (void)version;
  if (!threadState.attached) {
    *env = nullptr;
    return JNI_EDETACHED;
  }
  *env = &threadState.env;
  return JNI_OK;
}

void buildInterfaces() {
  void** slots = reinterpret_cast<void**>(&nativeInterface);
  fillUnexpected(slots, std::make_integer_sequence<int, sizeof(JNINativeInterface_) / sizeof(void*)>());
  nativeInterface.GetVersion = getVersion;
  nativeInterface.FindClass = findClass;
  nativeInterface.Throw = throwException;
  nativeInterface.ExceptionOccurred = exceptionOccurred;
  nativeInterface.ExceptionDescribe = exceptionDescribe;
  nativeInterface.ExceptionClear = exceptionClear;
  nativeInterface.ExceptionCheck = exceptionCheck;
  nativeInterface.DeleteLocalRef = deleteLocalRef;
  nativeInterface.NewObject = newObjectVariadic;
  nativeInterface.NewObjectV = newObjectV;
  nativeInterface.NewObjectA = newObjectA;
  nativeInterface.GetObjectClass = getObjectClass;
  nativeInterface.GetMethodID = getMethodId;
  nativeInterface.CallObjectMethod = callObjectMethod;
  nativeInterface.CallObjectMethodV = callObjectMethodV;
  nativeInterface.CallObjectMethodA = callObjectMethodA;
  nativeInterface.CallVoidMethod = callVoidMethod;
  nativeInterface.CallVoidMethodV = callVoidMethodV;
  nativeInterface.CallVoidMethodA = callVoidMethodA;
  nativeInterface.GetStaticMethodID = getStaticMethodId;
  nativeInterface.CallStaticIntMethod = callStaticIntMethod;
  nativeInterface.CallStaticIntMethodV = callStaticIntMethodV;
  nativeInterface.CallStaticIntMethodA = callStaticIntMethodA;
  nativeInterface.CallStaticVoidMethod = callStaticVoidMethod;
  nativeInterface.CallStaticVoidMethodV = callStaticVoidMethodV;
  nativeInterface.CallStaticVoidMethodA = callStaticVoidMethodA;
  nativeInterface.NewStringUTF = newStringUtf;
  nativeInterface.IsInstanceOf = isInstanceOf;
  nativeInterface.GetStringLength = getStringLength;
  nativeInterface.GetStringRegion = getStringRegion;
  nativeInterface.GetStringUTFChars = getStringUtfChars;
  nativeInterface.ReleaseStringUTFChars = releaseStringUtfChars;
  nativeInterface.NewObjectArray = newObjectArray;
  nativeInterface.SetObjectArrayElement = setObjectArrayElement;
  nativeInterface.NewCharArray = newCharArray;
  nativeInterface.SetCharArrayRegion = setCharArrayRegion;

  invokeInterface.reserved0 = nullptr;
  invokeInterface.reserved1 = nullptr;
  invokeInterface.reserved2 = nullptr;
  invokeInterface.DestroyJavaVM = destroyJavaVm;
  invokeInterface.AttachCurrentThread = attachCurrentThread;
  invokeInterface.DetachCurrentThread = detachCurrentThread;
  invokeInterface.GetEnv = getEnv;
  invokeInterface.AttachCurrentThreadAsDaemon = attachCurrentThread;
  javaVm.functions = &invokeInterface;
}

void logEnvironment(const wchar_t* name) {
  wchar_t buffer[32768];
  SetLastError(0);
  DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
  if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
    logRecord({"env-unset", toUtf8(std::wstring(name))});
  } else {
    logRecord({"env", toUtf8(std::wstring(name)), toUtf8(std::wstring(buffer, length < 32768 ? length : 0))});
  }
}

// Reserved stack of the calling thread, from its top down to the base of its allocation.
uint64_t stackReservation() {
  ULONG_PTR low = 0, high = 0;
  GetCurrentThreadStackLimits(&low, &high);
  return high - low;
}

void takeClassPath(const std::string& value) {
  classPath.clear();
  std::wstring wide = fromCodePage(CP_ACP, value);
  size_t start = 0;
  while (start <= wide.size()) {
    size_t end = wide.find(L';', start);
    if (end == std::wstring::npos) end = wide.size();
    if (end > start) classPath.push_back(wide.substr(start, end - start));
    start = end + 1;
  }
}

// The JDK 1.1 initialization arguments, as JVMs still fill them for version 1.1.
struct JDK1_1InitArgs {
  jint version;
  char** properties;
  jint checkSource;
  jint nativeStackSize;
  jint javaStackSize;
  jint minHeapSize;
  jint maxHeapSize;
  jint verifyMode;
  char* classpath;
  void* vfprintf;
  void* exit;
  void* abort;
  jint enableClassGC;
  jint enableVerboseGC;
  jint disableAsyncGC;
  jint verbose;
  jboolean debugging;
  jint debugPort;
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*);
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    InitializeCriticalSection(&lock);
    stopCalled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  // The process is ending: other threads are gone, perhaps holding the lock, so no lock here.
  if (reason == DLL_PROCESS_DETACH && script.log) writeHandle(logFile, "unloaded\n");
  return TRUE;
}

namespace {

[[maybe_unused]] jint defaultInitArgs(void* arguments) {
  startUp();
  JDK1_1InitArgs* initArgs = static_cast<JDK1_1InitArgs*>(arguments);
  logRecord({"default-args", std::to_string(initArgs->version)});
  if (initArgs->version != JNI_VERSION_1_1) return JNI_EVERSION;
  initArgs->javaStackSize = script.defaultStack;
  return JNI_OK;
}

[[maybe_unused]] jint createJavaVm(JavaVM** vm, void** env, void* arguments) {
  startUp();
  EnterCriticalSection(&lock);
  logRecord({"create", std::to_string(GetCurrentThreadId())});
  logRecord({"stack", std::to_string(stackReservation())});
  MEMORYSTATUS memory{};
  memory.dwLength = sizeof memory;
  GlobalMemoryStatus(&memory);
  logRecord({"physical-memory", std::to_string(memory.dwTotalPhys)});
  const JavaVMInitArgs* initArgs = static_cast<const JavaVMInitArgs*>(arguments);
  logRecord({"version", std::to_string(initArgs->version)});
  logRecord({"ignore", std::to_string(initArgs->ignoreUnrecognized)});
  exitHook = nullptr;
  classPath.assign(1, L".");
  for (jint i = 0; i < initArgs->nOptions; ++i) {
    const JavaVMOption& option = initArgs->options[i];
    std::string text = option.optionString == nullptr ? std::string() : option.optionString;
    // Options are narrow text in the process's ANSI code page, as a JVM reads them.
    logRecord({"option", toUtf8(fromCodePage(CP_ACP, text)), option.extraInfo != nullptr ? "1" : "0"});
    if (text == "exit") exitHook = reinterpret_cast<void(JNICALL*)(jint)>(option.extraInfo);
    if (text.compare(0, 18, "-Djava.class.path=") == 0) takeClassPath(text.substr(18));
  }
  logEnvironment(L"KORU_JVM_PATH");
  logEnvironment(L"KORU_JVM_HOME");
  logEnvironment(L"Path");
  wchar_t current[MAX_PATH];
  DWORD length = GetCurrentDirectoryW(MAX_PATH, current);
  logRecord({"cwd", toUtf8(std::wstring(current, length))});
  jint result = script.createResult;
  if (result == JNI_OK && vmCreated) result = JNI_EEXIST;
  if (result == JNI_OK) {
    buildInterfaces();
    vmCreated = true;
    creatorThread = GetCurrentThreadId();
    threadState.env.functions = &nativeInterface;
    threadState.attached = true;
    attachedThreads.insert(creatorThread);
    *vm = &javaVm;
    *env = &threadState.env;
  }
  logRecord({"create-result", std::to_string(result)});
  LeaveCriticalSection(&lock);
  return result;
}

}  // namespace

// The variants of the stand-in leave out one entry point each.
#ifndef KORU_STAND_IN_WITHOUT_DEFAULT_ARGS
extern "C" JNIEXPORT jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* arguments) {
  return defaultInitArgs(arguments);
}
#endif

#ifndef KORU_STAND_IN_WITHOUT_CREATE
extern "C" JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM** vm, void** env, void* arguments) {
  return createJavaVm(vm, env, arguments);
}
#endif
