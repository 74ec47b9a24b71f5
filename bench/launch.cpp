// Runs a program and writes its wall time, peak memory and CPU time to a
// file: "seconds maxrss_kb cpu_seconds". The benchmark starts every
// contender through it: a child of a large parent would inherit the
// parent's peak memory on exec, this small one's is negligible.
// Usage: bench_launch RESULT_FILE PROGRAM [ARGS...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RESULT_FILE PROGRAM [ARGS...]\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return 2;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                     (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) return 2;
  std::fprintf(out, "%.9f %ld %.6f\n", seconds, usage.ru_maxrss, cpu);
  std::fclose(out);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}
