// Runs the built d88cut with its standard output and standard error each on
// a pseudo-terminal or a pipe, to see what a user at a terminal is shown.
#ifndef TESTS_PTY_RUNNER_H_
#define TESTS_PTY_RUNNER_H_

#include <optional>
#include <string>
#include <vector>

#include "tests/tool_runner.h"

// Where one of the tool's streams goes. A terminal is a pseudo-terminal of
// its own in raw mode, so that the bytes read from it are exactly the bytes
// the tool wrote (no CR before each line feed).
enum class Sink { kTerminal, kPipe };

// Runs d88cut with the whole `argv` given (argv[0] included) in `folder`,
// with stdin on /dev/null and `environment` ("NAME=value", TZ included) as
// its only environment, plus the sanitizers' settings of this process.
// Reads both streams until the tool has closed them and exited; throws if
// that takes more than `seconds`, after killing the tool. With `user`, the
// tool runs as that user, who must be able to enter `folder`.
ToolRun RunToolOnSinks(Sink out, Sink err, const std::vector<std::string>& argv,
                       const std::string& folder, const std::vector<std::string>& environment,
                       int seconds = 30, const std::optional<RunAs>& user = std::nullopt);
// The same for any program, such as d88info.
ToolRun RunProgramOnSinks(const std::string& program, Sink out, Sink err,
                          const std::vector<std::string>& argv, const std::string& folder,
                          const std::vector<std::string>& environment, int seconds = 30,
                          const std::optional<RunAs>& user = std::nullopt);

#endif  // TESTS_PTY_RUNNER_H_
