// Runs a command and prints its wall time in seconds, its peak resident memory in
// KiB and its exit status on one line of standard output.
//
// The benchmark cannot take the peak from its own wait: a child's peak starts at
// the size of the process that forked it, and an interpreter is far bigger than the
// programs measured here. Forked from this small process, the peak is the command's.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: child_usage command [argument...]\n");
    return 2;
  }
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  pid_t child = fork();
  if (child < 0) {
    std::perror("child_usage: fork");
    return 2;
  }
  if (child == 0) {
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
    }
    execvp(argv[1], argv + 1);
    std::perror(argv[1]);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) < 0) {
    std::perror("child_usage: wait4");
    return 2;
  }
  clock_gettime(CLOCK_MONOTONIC, &end);
  double elapsed = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::printf("%.6f %ld %d\n", elapsed, usage.ru_maxrss, code);
  return 0;
}
