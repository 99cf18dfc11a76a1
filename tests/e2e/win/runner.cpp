// runner.exe: starts one process with an exact command line and records its full exit status.
//
// Seen from Linux, a Wine process's exit status is cut to 8 bits; the end-to-end tests need all
// 32 (the launcher's failure status is 0xFFFFFFFF), so they start koru.exe through this runner.
//
// Usage: runner.exe REQUEST-FILE
// The request file is UTF-8 text, one "key value" per line; in values, %XX stands for the byte
// 0xXX, so that any text (blanks at the ends, tabs, line breaks) can be written.
//   exe PATH        the executable (lpApplicationName)
//   cmd TEXT        the command line, handed to CreateProcessW unchanged
//   cwd FOLDER      the child's working folder
//   set NAME=VALUE  an environment variable for the child (repeatable)
//   unset NAME      removes a variable from the child's environment (repeatable)
//   timeout MS      the child is ended with status 0xDEADDEAD after this long (default 60000)
//   repeat N        runs the child N times (default 1), for the start-up benchmark
//   status FILE     receives the exit status as 8 hex digits and a line feed ("timeout" when
//                   the child had to be ended); with repeat, one line per run: the status, a
//                   blank and the wall time from CreateProcessW to the end, in microseconds
// The child shares the runner's standard handles. The runner's own exit status is 0 when the
// child ran, 2 when the request could not be carried out (the reason goes to standard error).
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int fail(const char* what) {
  std::fprintf(stderr, "runner: %s (error %lu)\n", what, GetLastError());
  return 2;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::wstring decode(const std::string& escaped) {
  std::string bytes;
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] == '%' && i + 2 < escaped.size() && hexValue(escaped[i + 1]) >= 0 &&
        hexValue(escaped[i + 2]) >= 0) {
      bytes += static_cast<char>(hexValue(escaped[i + 1]) * 16 + hexValue(escaped[i + 2]));
      i += 2;
    } else {
      bytes += escaped[i];
    }
  }
  if (bytes.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &wide[0], length);
  return wide;
}

bool readFile(const wchar_t* path, std::string& content) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) content.append(buffer, count);
  CloseHandle(file);
  return true;
}

bool writeFile(const std::wstring& path, const std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

struct Request {
  std::wstring exe, cmd, cwd, status;
  DWORD timeout = 60000;
  unsigned repeat = 1;
};

bool parseRequest(const std::string& text, Request& request) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    size_t blank = line.find(' ');
    std::string key = line.substr(0, blank);
    std::wstring value = blank == std::string::npos ? std::wstring() : decode(line.substr(blank + 1));
    if (key == "exe") {
      request.exe = value;
    } else if (key == "cmd") {
      request.cmd = value;
    } else if (key == "cwd") {
      request.cwd = value;
    } else if (key == "status") {
      request.status = value;
    } else if (key == "timeout") {
      request.timeout = static_cast<DWORD>(_wtoi(value.c_str()));
    } else if (key == "repeat") {
      request.repeat = static_cast<unsigned>(_wtoi(value.c_str()));
    } else if (key == "set") {
      size_t equals = value.find(L'=', 1);
      if (equals == std::wstring::npos) return false;
      SetEnvironmentVariableW(value.substr(0, equals).c_str(), value.substr(equals + 1).c_str());
    } else if (key == "unset") {
      SetEnvironmentVariableW(value.c_str(), nullptr);
    } else {
      return false;
    }
  }
  return !request.exe.empty() && !request.status.empty() && request.repeat > 0;
}

// Lets the child share this process's standard handles, whatever Wine made them from.
void shareStandardHandles(STARTUPINFOW& startup) {
  startup.dwFlags |= STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
      SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv);
int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: runner.exe REQUEST-FILE\n");
    return 2;
  }
  std::string text;
  if (!readFile(argv[1], text)) return fail("cannot read the request file");
  Request request;
  if (!parseRequest(text, request)) return fail("malformed request");

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::string report;
  for (unsigned run = 0; run < request.repeat; ++run) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    shareStandardHandles(startup);
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line buffer, so it gets a private copy.
    std::vector<wchar_t> commandLine(request.cmd.begin(), request.cmd.end());
    commandLine.push_back(L'\0');
    LARGE_INTEGER begin, end;
    QueryPerformanceCounter(&begin);
    if (!CreateProcessW(request.exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        request.cwd.empty() ? nullptr : request.cwd.c_str(), &startup, &process)) {
      return fail("CreateProcessW failed");
    }
    CloseHandle(process.hThread);
    char line[64];
    if (WaitForSingleObject(process.hProcess, request.timeout) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 0xDEADDEADu);
      WaitForSingleObject(process.hProcess, INFINITE);
      std::snprintf(line, sizeof line, "timeout");
    } else {
      QueryPerformanceCounter(&end);
      DWORD status = 0;
      GetExitCodeProcess(process.hProcess, &status);
      if (request.repeat == 1) {
        std::snprintf(line, sizeof line, "%08lX", status);
      } else {
        long long micros = (end.QuadPart - begin.QuadPart) * 1000000 / frequency.QuadPart;
        std::snprintf(line, sizeof line, "%08lX %lld", status, micros);
      }
    }
    CloseHandle(process.hProcess);
    report += line;
    report += '\n';
  }
  if (!writeFile(request.status, report)) return fail("cannot write the status file");
  return 0;
}
