// POSIX: directories from mkdtemp, the tool started with fork and execve.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>

#include "tests/tool_runner.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

ScopedTempDir::ScopedTempDir() {
  std::string pattern = (fs::temp_directory_path() / "d88cut-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary folder");
  }
  path_ = pattern;
}

ScopedTempDir::~ScopedTempDir() {
  std::error_code ignored;
  // Tests may leave directories without write permission behind.
  for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
    if (entry.is_directory(ignored)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
  }
  fs::remove_all(path_, ignored);
}

std::string ToolPath() {
  return D88CUT_PATH;
}

std::string InfoPath() {
  return D88INFO_PATH;
}

std::string MergePath() {
  return D88MERGE_PATH;
}

namespace {

ToolRun RunProgramAsUser(const std::optional<RunAs>& user, const std::string& tool,
                         const std::vector<std::string>& argv, const std::string& folder,
                         const std::string& tz) {
  // Standard output and error go to files beside, not inside, the folder.
  ScopedTempDir streams;
  const std::string outPath = streams.File("stdout");
  const std::string errPath = streams.File("stderr");

  const std::string program = user ? ProgramFor(*user, tool) : tool;
  std::vector<char*> childArgv = ExecArray(argv);
  const std::vector<std::string> environment = WithSanitizerSettings({"TZ=" + tz, "LC_ALL=C"});
  std::vector<char*> childEnv = ExecArray(environment);

  const pid_t pid = fork();
  if (pid < 0) {
    throw std::runtime_error("cannot fork");
  }
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0 || (user && !BecomeUser(*user)) ||
        chdir(folder.c_str()) != 0) {
      _exit(127);
    }
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execve(program.c_str(), childArgv.data(), childEnv.data());
    _exit(127);
  }
  int waitStatus = 0;
  waitpid(pid, &waitStatus, 0);
  ToolRun run;
  run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
  run.rawOut = Slurp(outPath);
  run.rawErr = Slurp(errPath);
  run.out = run.rawOut;
  run.err = run.rawErr;
  return run;
}

}  // namespace

ToolRun RunProgramWithArgv(const std::string& program, const std::vector<std::string>& argv,
                           const std::string& folder, const std::string& tz) {
  return RunProgramAsUser(std::nullopt, program, argv, folder, tz);
}

ToolRun RunToolAs(const RunAs& user, const std::vector<std::string>& args,
                  const std::string& folder, const std::string& tz) {
  std::vector<std::string> argv = {ToolPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgramAsUser(user, ToolPath(), argv, folder, tz);
}

std::optional<RunAs> UserWithoutPrivileges() {
  if (geteuid() != 0) {
    return RunAs{geteuid(), getegid()};
  }
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr || nobody->pw_uid == 0) {
    return std::nullopt;
  }
  return RunAs{nobody->pw_uid, nobody->pw_gid};
}

bool BecomeUser(const RunAs& user) {
  if (user.uid == geteuid()) {
    return true;
  }
  return setgroups(0, nullptr) == 0 && setgid(user.gid) == 0 && setuid(user.uid) == 0;
}

std::string ProgramFor(const RunAs& user, const std::string& program) {
  if (user.uid == geteuid()) {
    return program;
  }
  // Made on first use, so that a run with no such case makes no directory.
  static ScopedTempDir folder;
  static std::map<std::string, std::string> copies;
  const auto found = copies.find(program);
  if (found != copies.end()) {
    return found->second;
  }
  const fs::perms everyoneMayRun = fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec;
  fs::permissions(folder.path(), everyoneMayRun);
  const std::string copy =
      folder.File(std::to_string(copies.size()) + "-" + fs::path(program).filename().string());
  fs::copy_file(program, copy);
  fs::permissions(copy, everyoneMayRun);
  return copies.emplace(program, copy).first->second;
}

ScopedFileSizeLimit::ScopedFileSizeLimit(uint64_t bytes) : savedLimit_(RLIM_INFINITY) {
  rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) != 0) {
    throw std::runtime_error("cannot read the file size limit");
  }
  savedLimit_ = limit.rlim_cur;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > bytes) {
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
      throw std::runtime_error("cannot lower the file size limit");
    }
  }
}

ScopedFileSizeLimit::~ScopedFileSizeLimit() {
  rlimit limit;
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0) {
    limit.rlim_cur = static_cast<rlim_t>(savedLimit_);
    setrlimit(RLIMIT_FSIZE, &limit);
  }
}

bool ReadFileTimes(const std::string& path, FileTimes* times) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    return false;
  }
  times->modified = st.st_mtime;
  times->accessed = st.st_atime;
  return true;
}

std::vector<std::string> WithSanitizerSettings(std::vector<std::string> settings) {
  // In a sanitizer build the tool is sanitized too and takes the same settings.
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = getenv(name)) {
      settings.push_back(std::string(name) + "=" + value);
    }
  }
  return settings;
}

std::vector<char*> ExecArray(const std::vector<std::string>& strings) {
  std::vector<char*> array;
  for (const std::string& string : strings) {
    array.push_back(const_cast<char*>(string.c_str()));
  }
  array.push_back(nullptr);
  return array;
}
