/* Times whole runs of a program, from just before it is started to just
 * after it has exited, for bench/page_speed.mjs:
 *
 *   run_timer RUNS PROGRAM [ARGUMENT]...
 *
 * runs PROGRAM once untimed (so that its files are in the page cache), then
 * RUNS times timed, each run in a fresh folder made under $TMPDIR (or /tmp)
 * and emptied and removed after it, with standard input, output and error
 * on /dev/null, and writes each timed run's microseconds on a line of its
 * own. The ARGUMENTs are passed as they are, in that folder: give paths
 * absolute. The clock is CLOCK_MONOTONIC; the program is started with
 * posix_spawn, which glibc does the vfork way, and waited for with
 * waitpid; the timer is plain C linked statically, so that it adds to each
 * run as little as a process can. Exits 1 with a message if a run cannot
 * be made, or ends other than with status 0. */
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

static int Fail(const char* what, const char* name) {
  fprintf(stderr, "run_timer: cannot %s %s\n", what, name);
  return 1;
}

/* Removes every entry of the folder `path` (the program writes files only),
 * then the folder. */
static int RemoveFolder(const char* path) {
  DIR* folder = opendir(path);
  if (folder == NULL) {
    return 0;
  }
  const int at = dirfd(folder);
  int removed = 1;
  for (struct dirent* entry = readdir(folder); entry != NULL; entry = readdir(folder)) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0 &&
        unlinkat(at, entry->d_name, 0) != 0) {
      removed = 0;
    }
  }
  closedir(folder);
  return removed && rmdir(path) == 0;
}

static long long Microseconds(const struct timespec* from, const struct timespec* to) {
  return ((long long)to->tv_sec - from->tv_sec) * 1000000LL + (to->tv_nsec - from->tv_nsec) / 1000;
}

/* One run of `argv[0]` in a fresh folder; its time in microseconds, or -1. */
static long long Run(char** argv, const posix_spawn_file_actions_t* actions, int home) {
  const char* temporary = getenv("TMPDIR");
  char folder[PATH_MAX];
  const int length = snprintf(folder, sizeof folder, "%s/run_timer.XXXXXX",
                              temporary != NULL && temporary[0] != '\0' ? temporary : "/tmp");
  if (length < 0 || (size_t)length >= sizeof folder || mkdtemp(folder) == NULL ||
      chdir(folder) != 0) {
    Fail("make a folder in", temporary != NULL ? temporary : "/tmp");
    return -1;
  }

  struct timespec start;
  struct timespec end;
  pid_t child;
  int status = 0;
  clock_gettime(CLOCK_MONOTONIC, &start);
  const int spawned = posix_spawn(&child, argv[0], actions, NULL, argv, environ);
  const int waited = spawned == 0 && waitpid(child, &status, 0) == child;
  clock_gettime(CLOCK_MONOTONIC, &end);

  const int back = fchdir(home) == 0;
  const int removed = RemoveFolder(folder);
  if (spawned != 0 || !waited) {
    Fail("run", argv[0]);
    return -1;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "run_timer: %s did not exit with status 0\n", argv[0]);
    return -1;
  }
  if (!back || !removed) {
    Fail("remove the run's folder", folder);
    return -1;
  }
  return Microseconds(&start, &end);
}

int main(int argc, char** argv) {
  char* end;
  const long runs = argc >= 3 ? strtol(argv[1], &end, 10) : 0;
  if (argc < 3 || *argv[1] == '\0' || *end != '\0' || runs < 1 || runs > 100000) {
    return Fail("run: usage", "run_timer RUNS PROGRAM [ARGUMENT]...");
  }
  char program[PATH_MAX];
  if (realpath(argv[2], program) == NULL) {
    return Fail("find", argv[2]);
  }
  argv[2] = program;
  const int home = open(".", O_RDONLY | O_DIRECTORY);
  if (home < 0) {
    return Fail("open", "the current folder");
  }
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0 ||
      posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) != 0 ||
      posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) != 0 ||
      posix_spawn_file_actions_adddup2(&actions, 1, 2) != 0) {
    return Fail("prepare", "the runs' streams");
  }

  for (long run = 0; run <= runs; ++run) {
    const long long microseconds = Run(argv + 2, &actions, home);
    if (microseconds < 0) {
      return 1;
    }
    if (run > 0) {
      printf("%lld\n", microseconds);
    }
  }
  return fflush(stdout) == 0 ? 0 : Fail("write", "the times");
}
