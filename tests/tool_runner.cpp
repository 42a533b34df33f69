#include "tests/tool_runner.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

std::vector<std::string> ScopedTempDir::Entries() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::u8path(path_))) {
    // UTF-8 on Windows, the name's own bytes on POSIX.
    names.push_back(entry.path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ToolRun RunTool(const std::vector<std::string>& args, const std::string& folder,
                const std::string& tz) {
  std::vector<std::string> argv = {ToolPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunToolWithArgv(argv, folder, tz);
}

ToolRun RunToolWithArgv(const std::vector<std::string>& argv, const std::string& folder,
                        const std::string& tz) {
  return RunProgramWithArgv(ToolPath(), argv, folder, tz);
}

ToolRun RunMerge(const std::vector<std::string>& args, const std::string& folder) {
  std::vector<std::string> argv = {MergePath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgramWithArgv(MergePath(), argv, folder);
}

ToolRun RunInfo(const std::vector<std::string>& args, const std::string& folder) {
  std::vector<std::string> argv = {InfoPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProgramWithArgv(InfoPath(), argv, folder);
}
