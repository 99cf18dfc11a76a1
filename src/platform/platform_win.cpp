#include "platform/platform.h"

#include "platform/win/unique.h"
#include "platform/win/wide.h"
#include "platform/win/windows.h"

namespace koru {

uint32_t queryModulePath(Text& path) {
  // Paths longer than MAX_PATH are read in full: the buffer grows while the answer is cut.
  for (DWORD size = kMaxPath;; size *= 2) {
    Text buffer(size, u'\0');
    DWORD count = GetModuleFileNameW(nullptr, W(buffer.data()), size);
    if (count == 0) return GetLastError();
    if (count < size) {
      buffer.resize(count);
      path = std::move(buffer);
      return 0;
    }
    if (size >= 32768) return ERROR_INSUFFICIENT_BUFFER;
  }
}

Text processCommandLine() { return ToText(GetCommandLineW()); }

uint32_t lastSystemError() { return GetLastError(); }

void useSystemDefaultThreadLocale() { SetThreadLocale(GetSystemDefaultLCID()); }

uint64_t totalPhysicalMemory() {
  MEMORYSTATUS status{};
  status.dwLength = sizeof status;
  GlobalMemoryStatus(&status);
  return status.dwTotalPhys;
}

uint64_t availableVirtualMemory() {
  MEMORYSTATUS status{};
  status.dwLength = sizeof status;
  GlobalMemoryStatus(&status);
  return status.dwAvailVirtual;
}

bool isWindowsNt() {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  OSVERSIONINFOEXW extended{};
  extended.dwOSVersionInfoSize = sizeof extended;
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
    return extended.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }
  OSVERSIONINFOW plain{};
  plain.dwOSVersionInfoSize = sizeof plain;
  if (GetVersionExW(&plain)) return plain.dwPlatformId == VER_PLATFORM_WIN32_NT;
  return false;
#pragma GCC diagnostic pop
}

std::string toNarrow(TextView text) {
  if (text.empty()) return std::string();
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  int length = static_cast<int>(text.size());
  int count = WideCharToMultiByte(CP_THREAD_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(count), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, wide, length, narrow.data(), count, nullptr, nullptr);
  return narrow;
}

Text fromNarrow(std::string_view text) {
  if (text.empty()) return Text();
  int length = static_cast<int>(text.size());
  int count = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0);
  Text wide(static_cast<size_t>(count), u'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, W(wide.data()), count);
  return wide;
}

Text environmentVariable(TextView name) {
  Text key(name);
  DWORD size = GetEnvironmentVariableW(W(key), nullptr, 0);
  if (size == 0) return Text();
  Text value(size, u'\0');
  DWORD count = GetEnvironmentVariableW(W(key), W(value.data()), size);
  value.resize(count < size ? count : 0);
  return value;
}

void setEnvironmentVariable(TextView name, TextView value) {
  SetEnvironmentVariableW(W(Text(name)), W(Text(value)));
}

bool expandEnvironmentStrings(TextView text, Text& expanded) {
  Text source(text);
  DWORD size = ExpandEnvironmentStringsW(W(source), nullptr, 0);
  if (size == 0) return false;
  Text buffer(size, u'\0');
  DWORD count = ExpandEnvironmentStringsW(W(source), W(buffer.data()), size);
  if (count == 0 || count > size) return false;
  buffer.resize(buffer.find(u'\0') == Text::npos ? buffer.size() : buffer.find(u'\0'));
  expanded = std::move(buffer);
  return true;
}

bool findsEntry(TextView path) {
  WIN32_FIND_DATAW data;
  UniqueFind search(FindFirstFileW(W(Text(path)), &data));
  return static_cast<bool>(search);
}

TextList findEntryNames(TextView pattern) {
  TextList names;
  WIN32_FIND_DATAW data;
  UniqueFind search(FindFirstFileW(W(Text(pattern)), &data));
  if (!search) return names;
  do {
    names.push_back(ToText(data.cFileName));
  } while (FindNextFileW(search.get(), &data));
  return names;
}

uint32_t createFolder(TextView path) {
  return CreateDirectoryW(W(Text(path)), nullptr) ? 0 : GetLastError();
}

void removeEmptyFolder(TextView path) { RemoveDirectoryW(W(Text(path))); }

bool setCurrentFolder(TextView path) { return SetCurrentDirectoryW(W(Text(path))) != 0; }

bool readFileBytes(TextView path, uint64_t offset, size_t count, std::vector<uint8_t>& bytes) {
  UniqueFile file(CreateFileW(W(Text(path)), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) return false;
  std::vector<uint8_t> buffer(count);
  DWORD read = 0;
  if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(count), &read, nullptr)) return false;
  if (read != count) return false;
  bytes = std::move(buffer);
  return true;
}

uint32_t readProfileString(TextView section, TextView key, TextView path, char16_t* buffer,
                           uint32_t size) {
  return GetPrivateProfileStringW(W(Text(section)), W(Text(key)), L"", W(buffer), size,
                                  W(Text(path)));
}

uint32_t readProfileSectionNames(char16_t* buffer, uint32_t size, TextView path) {
  return GetPrivateProfileSectionNamesW(W(buffer), size, W(Text(path)));
}

bool writeProfileString(TextView section, TextView key, TextView value, TextView path) {
  return WritePrivateProfileStringW(W(Text(section)), W(Text(key)), W(Text(value)),
                                    W(Text(path))) != 0;
}

void* loadLibrary(TextView path, uint32_t& error) {
  HMODULE library = LoadLibraryW(W(Text(path)));
  if (library == nullptr) error = GetLastError();
  return reinterpret_cast<void*>(library);
}

void* libraryEntry(void* library, const char* name, uint32_t& error) {
  FARPROC entry = GetProcAddress(static_cast<HMODULE>(library), name);
  if (entry == nullptr) error = GetLastError();
  return reinterpret_cast<void*>(entry);
}

namespace {
struct ThreadStart {
  ThreadProc proc;
  void* argument;
};

DWORD WINAPI threadTrampoline(void* parameter) {
  auto* start = static_cast<ThreadStart*>(parameter);
  return start->proc(start->argument);
}
}  // namespace

bool runThreadAndWait(uint64_t stackSize, ThreadProc proc, void* argument, uint32_t& exitCode) {
  ThreadStart start{proc, argument};
  UniqueHandle thread(CreateThread(nullptr, static_cast<SIZE_T>(stackSize), threadTrampoline,
                                   &start, 0, nullptr));
  if (!thread) return false;
  WaitForSingleObject(thread.get(), INFINITE);
  DWORD code = 0;
  GetExitCodeThread(thread.get(), &code);
  exitCode = code;
  return true;
}

// --- Events and processes --------------------------------------------------------------------

void signalEvent(void* event) {
  if (event != nullptr) SetEvent(static_cast<HANDLE>(event));
}


uint32_t startProcess(TextView application, bool waitForExit) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  // With no command line the new process receives the application name as its command line.
  if (!CreateProcessW(W(Text(application)), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 0;
  }
  UniqueHandle processHandle(process.hProcess);
  UniqueHandle threadHandle(process.hThread);
  if (!waitForExit) return 0;
  WaitForSingleObject(processHandle.get(), INFINITE);
  DWORD exitCode = 0;
  GetExitCodeProcess(processHandle.get(), &exitCode);
  return exitCode;
}

// --- Registry, read only ---------------------------------------------------------------------

namespace {

// Owns an open registry key; the key is closed with the owner.
class RegistryKey {
 public:
  RegistryKey(TextView path, bool use32BitView) {
    REGSAM access = use32BitView ? KEY_READ | KEY_WOW64_32KEY : KEY_READ;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(Text(path)), 0, access, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

}  // namespace

TextList registrySubkeyNames(TextView key, bool use32BitView) {
  TextList names;
  RegistryKey opened(key, use32BitView);
  if (!opened) return names;
  // A key name has at most 255 characters.
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    if (RegEnumKeyExW(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    names.push_back(ToText(name, length));
  }
  return names;
}

bool readRegistryText(TextView key, TextView name, bool use32BitView, Text& text) {
  RegistryKey opened(key, use32BitView);
  if (!opened) return false;
  Text valueName(name);
  DWORD size = 0;
  if (RegQueryValueExW(opened.get(), W(valueName), nullptr, nullptr, nullptr, &size) !=
          ERROR_SUCCESS ||
      size == 0) {
    return false;
  }
  // Data of any type is taken as UTF-16 text; an odd last byte and a missing terminator are
  // covered by the zeros beyond the data.
  Text buffer(size / 2 + 2, u'\0');
  DWORD read = size;
  if (RegQueryValueExW(opened.get(), W(valueName), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(buffer.data()), &read) != ERROR_SUCCESS) {
    return false;
  }
  text = buffer.substr(0, buffer.find(u'\0'));
  return true;
}

}  // namespace koru
