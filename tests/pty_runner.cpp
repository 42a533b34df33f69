#include "tests/pty_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

// The two ends of one stream: the tool writes to `child`, the test reads
// from `parent`.
struct Channel {
  int parent = -1;
  int child = -1;
  std::string bytes;
};

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + strerror(errno));
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    close(fd);
    fd = -1;
  }
}

void OpenChannel(Sink sink, Channel& channel) {
  if (sink == Sink::kTerminal) {
    if (openpty(&channel.parent, &channel.child, nullptr, nullptr, nullptr) != 0) {
      Fail("openpty");
    }
    termios settings;
    if (tcgetattr(channel.child, &settings) != 0) {
      Fail("tcgetattr");
    }
    cfmakeraw(&settings);
    if (tcsetattr(channel.child, TCSANOW, &settings) != 0) {
      Fail("tcsetattr");
    }
  } else {
    int ends[2];
    if (pipe(ends) != 0) {
      Fail("pipe");
    }
    channel.parent = ends[0];
    channel.child = ends[1];
  }
  fcntl(channel.parent, F_SETFD, FD_CLOEXEC);
}

// Reads what is there; false once the stream has ended. A pseudo-terminal's
// master gives EIO once every holder of its slave side has closed it.
bool ReadSome(Channel& channel) {
  char buffer[4096];
  const ssize_t got = read(channel.parent, buffer, sizeof buffer);
  if (got > 0) {
    channel.bytes.append(buffer, static_cast<size_t>(got));
    return true;
  }
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) {
    return true;
  }
  if (got < 0 && errno != EIO) {
    Fail("read");
  }
  return false;
}

}  // namespace

ToolRun RunToolOnSinks(Sink out, Sink err, const std::vector<std::string>& argv,
                       const std::string& folder, const std::vector<std::string>& environment,
                       int seconds, const std::optional<RunAs>& user) {
  return RunProgramOnSinks(ToolPath(), out, err, argv, folder, environment, seconds, user);
}

ToolRun RunProgramOnSinks(const std::string& tool, Sink out, Sink err,
                          const std::vector<std::string>& argv, const std::string& folder,
                          const std::vector<std::string>& environment, int seconds,
                          const std::optional<RunAs>& user) {
  Channel channels[2];
  OpenChannel(out, channels[0]);
  OpenChannel(err, channels[1]);

  const std::string program = user ? ProgramFor(*user, tool) : tool;
  std::vector<char*> childArgv = ExecArray(argv);
  const std::vector<std::string> settings = WithSanitizerSettings(environment);
  std::vector<char*> childEnv = ExecArray(settings);

  const pid_t pid = fork();
  if (pid < 0) {
    Fail("fork");
  }
  if (pid == 0) {
    // A session of its own, so that no terminal of the test's reaches it.
    setsid();
    const int in = open("/dev/null", O_RDONLY);
    if (in < 0 || (user && !BecomeUser(*user)) || chdir(folder.c_str()) != 0 || dup2(in, 0) < 0 ||
        dup2(channels[0].child, 1) < 0 || dup2(channels[1].child, 2) < 0) {
      _exit(127);
    }
    for (int fd : {in, channels[0].child, channels[1].child}) {
      if (fd > 2) {
        close(fd);
      }
    }
    execve(program.c_str(), childArgv.data(), childEnv.data());
    _exit(127);
  }
  for (Channel& channel : channels) {
    CloseFd(channel.child);
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  bool timedOut = false;
  while (channels[0].parent >= 0 || channels[1].parent >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd watched[2];
    Channel* watchedChannel[2];
    nfds_t count = 0;
    for (Channel& channel : channels) {
      if (channel.parent >= 0) {
        watched[count] = {channel.parent, POLLIN, 0};
        watchedChannel[count++] = &channel;
      }
    }
    const int ready = poll(watched, count, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) {
      Fail("poll");
    }
    for (nfds_t i = 0; ready > 0 && i < count; ++i) {
      if (watched[i].revents != 0 && !ReadSome(*watchedChannel[i])) {
        CloseFd(watchedChannel[i]->parent);
      }
    }
  }
  for (Channel& channel : channels) {
    CloseFd(channel.parent);
  }
  if (timedOut) {
    kill(pid, SIGKILL);
  }
  int waitStatus = 0;
  while (waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
  }
  if (timedOut) {
    throw std::runtime_error(tool + " did not finish within " + std::to_string(seconds) +
                             " seconds");
  }
  ToolRun run;
  run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
  run.out = channels[0].bytes;
  run.err = channels[1].bytes;
  return run;
}
