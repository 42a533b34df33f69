// Windows: directories under the temporary directory, the tool started the
// Windows way (CreateProcessW) with a command line and an environment of its
// own, its standard output and error going to files through inherited
// handles.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/tool_runner.h"

namespace fs = std::filesystem;

namespace {

// How long any run may take before the runner ends it.
constexpr int kRunSeconds = 60;

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) {
    return std::wstring();
  }
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) {
    return std::string();
  }
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length,
                      nullptr, nullptr);
  return utf8;
}

// Closes the handle it holds when it goes.
class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
  ~ScopedHandle() { Close(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  HANDLE get() const { return handle_; }
  HANDLE* receive() { return &handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  void Close() {
    if (valid()) {
      CloseHandle(handle_);
    }
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// One argument written so that the C runtime's parser gives it back whole:
// quoted when it holds a space, a tab or a quote, with the backslashes
// before a quote doubled.
std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (const wchar_t character : argument) {
    if (character == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(character == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += character;
  }
  quoted.append(2 * backslashes, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring Upper(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; });
  return text;
}

// The variables, from this process's environment, that a Windows program
// needs to start and Wine needs to run one; the tool itself reads only TZ.
bool IsNeededToStart(const std::wstring& name) {
  const std::wstring upper = Upper(name);
  for (const wchar_t* needed :
       {L"SYSTEMROOT", L"WINDIR", L"SYSTEMDRIVE", L"PATH", L"TEMP", L"TMP"}) {
    if (upper == needed) {
      return true;
    }
  }
  return upper.compare(0, 4, L"WINE") == 0;
}

// The environment block: TZ and what IsNeededToStart keeps, sorted by name
// without regard to case as Windows keeps them.
std::wstring EnvironmentBlock(const std::string& tz) {
  std::vector<std::wstring> settings = {L"TZ=" + Widen(tz)};
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* at = strings; *at != L'\0'; at += wcslen(at) + 1) {
    const std::wstring setting = at;
    // Names such as "=C:" start with '='.
    const size_t equals = setting.find(L'=', 1);
    if (equals != std::wstring::npos && IsNeededToStart(setting.substr(0, equals))) {
      settings.push_back(setting);
    }
  }
  FreeEnvironmentStringsW(strings);
  const auto name = [](const std::wstring& setting) {
    return Upper(setting.substr(0, setting.find(L'=', 1)));
  };
  std::sort(settings.begin(), settings.end(),
            [&](const std::wstring& a, const std::wstring& b) { return name(a) < name(b); });
  std::wstring block;
  for (const std::wstring& setting : settings) {
    block += setting;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

std::string Slurp(const std::string& path) {
  std::ifstream file(fs::u8path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The text of a stream the tool wrote in text mode: each CR LF becomes LF.
// A line feed that came without its CR fails the test.
std::string FromTextStream(const std::string& raw, const char* stream) {
  std::string text;
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\n') {
      text += raw[i];
    } else if (i > 0 && raw[i - 1] == '\r') {
      text.back() = '\n';
    } else {
      ADD_FAILURE() << "a line feed without CR at byte " << i << " of d88cut's " << stream;
      text += '\n';
    }
  }
  return text;
}

time_t UnixTime(const FILETIME& time) {
  // 100-nanosecond ticks since 1601-01-01 UTC.
  const int64_t ticks = (static_cast<int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  constexpr int64_t kTicksTo1970 = 116444736000000000;
  return static_cast<time_t>((ticks - kTicksTo1970) / 10000000);
}

enum class Input { kNul, kSilentPipe };

ToolRun Run(const std::string& program, const std::vector<std::string>& argv,
            const std::string& folder, const std::string& tz, Input input, int seconds) {
  // Standard output and error go to files beside, not inside, the folder.
  ScopedTempDir streams;
  const std::string outPath = streams.File("stdout");
  const std::string errPath = streams.File("stderr");

  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  const auto createOutput = [&](const std::string& path) {
    return CreateFileW(Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  ScopedHandle out(createOutput(outPath));
  ScopedHandle err(createOutput(errPath));
  ScopedHandle in;
  ScopedHandle silentWriter;  // held, never written, until the tool has ended
  if (input == Input::kNul) {
    *in.receive() = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, OPEN_EXISTING, 0, nullptr);
  } else if (CreatePipe(in.receive(), silentWriter.receive(), &inherited, 0)) {
    SetHandleInformation(silentWriter.get(), HANDLE_FLAG_INHERIT, 0);
  }
  if (!out.valid() || !err.valid() || !in.valid()) {
    throw std::runtime_error("cannot make the tool's standard handles");
  }

  std::wstring commandLine;
  for (const std::string& argument : argv) {
    if (!commandLine.empty()) {
      commandLine += L' ';
    }
    commandLine += QuoteArgument(Widen(argument));
  }
  std::wstring environment = EnvironmentBlock(tz);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in.get();
  startup.hStdOutput = out.get();
  startup.hStdError = err.get();
  PROCESS_INFORMATION process = {};
  // A console of its own that has no window: CON is a console there, as a
  // user's would be, and nothing is shown.
  if (!CreateProcessW(Widen(program).c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, &environment[0],
                      Widen(folder).c_str(), &startup, &process)) {
    throw std::runtime_error("cannot start " + program + ": error " +
                             std::to_string(GetLastError()));
  }
  ScopedHandle child(process.hProcess);
  CloseHandle(process.hThread);
  out.Close();
  err.Close();
  in.Close();

  ToolRun run;
  if (WaitForSingleObject(child.get(), static_cast<DWORD>(seconds) * 1000) == WAIT_TIMEOUT) {
    TerminateProcess(child.get(), 1);
    WaitForSingleObject(child.get(), INFINITE);
    ADD_FAILURE() << program << " was still running after " << seconds << " s and was ended";
  } else {
    DWORD code = 0;
    GetExitCodeProcess(child.get(), &code);
    // A crash ends the process with an NTSTATUS error code such as 0xC0000005.
    run.status = (code & 0xC0000000u) == 0xC0000000u ? -1 : static_cast<int>(code);
  }
  run.rawOut = Slurp(outPath);
  run.rawErr = Slurp(errPath);
  run.out = FromTextStream(run.rawOut, "standard output");
  run.err = FromTextStream(run.rawErr, "standard error");
  return run;
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  if (length == 0 || length > MAX_PATH) {
    throw std::runtime_error("cannot find the temporary folder");
  }
  static uint32_t made = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const uint32_t tag = static_cast<uint32_t>(now.QuadPart) ^ (++made * 2654435761u);
    const std::wstring candidate = temp + std::wstring(L"d88cut-test-") +
                                   std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(tag);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = Narrow(candidate);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  const fs::path root = fs::u8path(path_);
  // Windows deletes no read-only file, and tests leave some behind.
  for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
    SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  fs::remove_all(root, ignored);
}

namespace {

// CMake gives a path with '/'. A Unix path, when the tests run under Wine,
// is reached through drive Z:, the Unix root.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') {
    path = "Z:" + path;
  }
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace

std::string ToolPath() {
  return WindowsPath(D88CUT_PATH);
}

std::string InfoPath() {
  return WindowsPath(D88INFO_PATH);
}

std::string MergePath() {
  return WindowsPath(D88MERGE_PATH);
}

ToolRun RunProgramWithArgv(const std::string& program, const std::vector<std::string>& argv,
                           const std::string& folder, const std::string& tz) {
  return Run(program, argv, folder, tz, Input::kNul, kRunSeconds);
}

ToolRun RunToolWithSilentInput(const std::vector<std::string>& args, const std::string& folder,
                               int seconds) {
  std::vector<std::string> argv = {ToolPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return Run(ToolPath(), argv, folder, "UTC", Input::kSilentPipe, seconds);
}

ScopedFileSizeLimit::ScopedFileSizeLimit(uint64_t) : savedLimit_(0) {}

ScopedFileSizeLimit::~ScopedFileSizeLimit() = default;

bool ReadFileTimes(const std::string& path, FileTimes* times) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    return false;
  }
  times->modified = UnixTime(data.ftLastWriteTime);
  times->accessed = UnixTime(data.ftLastAccessTime);
  return true;
}
