// Runs the built d88cut as a process, the way a user would.
#ifndef TESTS_TOOL_RUNNER_H_
#define TESTS_TOOL_RUNNER_H_

#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes, even after a failed assertion.
class ScopedTempDir {
 public:
  ScopedTempDir();
  ~ScopedTempDir();
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  // The names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::string path_;
};

struct ToolRun {
  int status = -1;  // the exit status; -1 if the process did not exit normally
  std::string out;
  std::string err;
};

// Runs d88cut with argv[1...] = `args` in `folder`, with TZ set to `tz`.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& folder,
                const std::string& tz = "UTC");
// The same with the whole argv given, argv[0] included. (Linux starts a
// program given an empty argv with argc 1 and an empty argv[0].)
ToolRun RunToolWithArgv(const std::vector<std::string>& argv, const std::string& folder,
                        const std::string& tz = "UTC");

// The path of the built tool.
std::string ToolPath();

#endif  // TESTS_TOOL_RUNNER_H_
