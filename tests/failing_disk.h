// Runs a program on a disk that fails (tests/failing_disk.cpp), on Linux.
#ifndef TESTS_FAILING_DISK_H_
#define TESTS_FAILING_DISK_H_

#include <string>
#include <vector>

// The program that starts the others with the failing disk loaded.
inline const std::string kFailingDiskStarter = "/usr/bin/env";

// The argv for kFailingDiskStarter that runs `argv` (argv[0] the program's
// path) with the failing disk loaded and its `settings` given, such as
// "D88_FAIL_READ_AT=700".
inline std::vector<std::string> OnFailingDisk(const std::vector<std::string>& settings,
                                              const std::vector<std::string>& argv) {
  std::vector<std::string> all = {"env", "LD_PRELOAD=" FAILING_DISK_PATH};
  all.insert(all.end(), settings.begin(), settings.end());
  all.insert(all.end(), argv.begin(), argv.end());
  return all;
}

#endif  // TESTS_FAILING_DISK_H_
