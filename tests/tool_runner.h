// Runs the built d88cut (or d88info) as a process, the way a user would:
// tool_runner.cpp holds what every system shares, tool_runner_posix.cpp and
// tool_runner_windows.cpp how each starts a process and makes a directory.
#ifndef TESTS_TOOL_RUNNER_H_
#define TESTS_TOOL_RUNNER_H_

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/types.h>
#endif

// A fresh directory under the system's temporary directory, removed with all
// it holds when the object goes, even after a failed assertion. On Windows
// its path and the names of its entries are UTF-8.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // The names of the entries in the directory, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

struct ToolRun {
  int status = -1;  // the exit status; -1 if the process did not exit normally
  // Standard output and error as text. On Windows they are text streams,
  // whose every line feed must come as CR LF: the runner fails the test on
  // a bare LF, and gives each CR LF here as LF.
  std::string out;
  std::string err;
  // The bytes as the tool wrote them, from RunTool and RunToolWithArgv; on
  // POSIX the same as out and err.
  std::string rawOut;
  std::string rawErr;
};

// Runs d88cut with argv[1...] = `args` in `folder`, with TZ set to `tz`.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& folder,
                const std::string& tz = "UTC");
// The same with the whole argv given, argv[0] included. (Linux starts a
// program given an empty argv with argc 1 and an empty argv[0].)
ToolRun RunToolWithArgv(const std::vector<std::string>& argv, const std::string& folder,
                        const std::string& tz = "UTC");

// The same for any program: `program` is started with `argv`, argv[0]
// included.
ToolRun RunProgramWithArgv(const std::string& program, const std::vector<std::string>& argv,
                           const std::string& folder, const std::string& tz = "UTC");

// Runs d88info with argv[1...] = `args` in `folder`.
ToolRun RunInfo(const std::vector<std::string>& args, const std::string& folder);

// Runs d88merge with argv[1...] = `args` in `folder`.
ToolRun RunMerge(const std::vector<std::string>& args, const std::string& folder);

// The paths of the built tool, of the built d88info and of d88merge.
std::string ToolPath();
std::string InfoPath();
std::string MergePath();

// A file's last-modification and last-access times in seconds since 1970
// UTC; false if the file cannot be looked at.
struct FileTimes {
  time_t modified;
  time_t accessed;
};
bool ReadFileTimes(const std::string& path, FileTimes* times);

// While it lives, no file that this process or a tool it runs writes may
// grow past `bytes` (a lower limit already in force stays): should a bound
// of the tool give way, the system stops it long before it fills the disk.
// Windows limits no process's file size; there the tests go without this
// net.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(uint64_t bytes);
  ~ScopedFileSizeLimit();
  ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
  ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

 private:
  [[maybe_unused]] uint64_t savedLimit_;  // the limit before; unused on Windows
};

#ifndef _WIN32
// For starting the tool with execve: `settings` and this process's sanitizer
// settings, which a sanitized tool takes too.
std::vector<std::string> WithSanitizerSettings(std::vector<std::string> settings);
// Pointers to `strings` and a closing nullptr; `strings` must outlive them.
std::vector<char*> ExecArray(const std::vector<std::string>& strings);

// A user for whom file permissions hold, to run the tool as: root reads and
// writes any file, whatever its mode.
struct RunAs {
  uid_t uid;
  gid_t gid;
};
// This process's own user when it is not root; `nobody` when it is (as in
// CI). std::nullopt for root on a system without `nobody`.
std::optional<RunAs> UserWithoutPrivileges();
// In a child about to start the tool: becomes `user`, unless it is this
// process's own. False if that fails.
bool BecomeUser(const RunAs& user);
// The path at which `user` can start `program`: the program's own for this
// process's user; for another, a copy in a directory every user may enter,
// since the build directory may be closed to others (a clone under /root or
// in any mode-700 directory). The copy is made once a run, removed at exit.
std::string ProgramFor(const RunAs& user, const std::string& program);
// RunTool, with the tool run as `user`. The folder must be one that `user`
// may enter.
ToolRun RunToolAs(const RunAs& user, const std::vector<std::string>& args,
                  const std::string& folder, const std::string& tz = "UTC");
#endif

#ifdef _WIN32
// Runs d88cut with argv[1...] = `args` in `folder`, with standard input a
// pipe that nobody writes to or closes, so that a read from it would wait
// for ever. Ends the tool and fails the test if it has not exited within
// `seconds`.
ToolRun RunToolWithSilentInput(const std::vector<std::string>& args, const std::string& folder,
                               int seconds);
#endif

#endif  // TESTS_TOOL_RUNNER_H_
