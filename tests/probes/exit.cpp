// Ends the process the way its first argument names, for the termination tests.
#include <cstdlib>
#include <cstring>

#include <zav/errno.h>
#include <zav/signal.h>
#include <zav/startup.h>
#include <zav/stdio.h>
#include <zav/stdlib.h>
#include <zav/unistd.h>

namespace {

void handler_f() { zav::fputs("f\n", zav::stdout_); }
void handler_g() { zav::fputs("g\n", zav::stdout_); }
void handler_late() { zav::fputs("late\n", zav::stdout_); }
void handler_registering() {
  zav::fputs("registering\n", zav::stdout_);
  zav::atexit(handler_late);
}
void handler_on_stderr() { zav::fputs("exit handler ran\n", zav::stderr_); }
void handler_dot() { zav::fputc('.', zav::stdout_); }

bool is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

}  // namespace

int zav::main(int argc, char** argv, char**) {
  const char* how = argc > 1 ? argv[1] : "";
  const char* value = argc > 2 ? argv[2] : "0";

  if (is(how, "return")) return std::atoi(value);
  if (is(how, "exit")) zav::exit(std::atoi(value));
  if (is(how, "handlers")) {
    zav::atexit(handler_f);
    zav::atexit(handler_g);
    zav::atexit(handler_registering);
    return 0;
  }
  if (is(how, "slots")) {
    int registered = 0;
    while (zav::atexit(handler_dot) == 0 && registered < 100) ++registered;
    zav::printf("%d registered\n", registered);
    return 0;
  }
  // Output left in stdout's buffer (a pipe: fully buffered), then the ending.
  if (is(how, "buffered")) {
    zav::atexit(handler_on_stderr);
    zav::fputs("buffered output", zav::stdout_);
    if (is(value, "exit")) zav::exit(3);
    if (is(value, "_exit")) zav::_exit(4);
    if (is(value, "abort")) zav::abort();
    if (is(value, "raise")) zav::raise(zav::SIGTERM_);
    return 5;
  }
  if (is(how, "raise")) {
    const int result = zav::raise(std::atoi(value));
    zav::printf("raise %d errno %d\n", result, zav::errno_);
    return 0;
  }
  // Writes until the reader of stdout has gone.
  if (is(how, "pipe")) {
    zav::atexit(handler_on_stderr);
    static char block[4096];
    std::memset(block, 'p', sizeof block);
    for (int i = 0; i < 100000; ++i) {
      if (zav::write(1, block, sizeof block) < 0) {
        zav::fprintf(zav::stderr_, "write failed with errno %d\n", zav::errno_);
        return 7;
      }
    }
    return 8;
  }
  zav::fputs("usage: probe_exit how [value]\n", zav::stderr_);
  return 2;
}
