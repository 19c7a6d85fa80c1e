// exit, _exit and atexit. exit knows nothing of stdio: the streams arm
// stream_close_hook when they first need closing.
#include <windows.h>

#include <zav/stdlib.h>

namespace zav {

void (*exit_hook)(int status) = nullptr;
void (*stream_close_hook)() = nullptr;

namespace {

constexpr int exit_handler_slots = 32;

using exit_handler = void (*)();

// A stack that grows from the last slot towards the first.
exit_handler handlers[exit_handler_slots];
exit_handler* handlers_top = handlers + exit_handler_slots;

// Null until the first atexit, so a process that registers nothing never
// touches the table on its way out.
void (*run_exit_handlers)() = nullptr;

void run_handler_stack() {
  // A handler may register another one; it lands on top and so runs next.
  while (handlers_top != handlers + exit_handler_slots) {
    exit_handler handler = *handlers_top;
    *handlers_top++ = nullptr;
    handler();
  }
}

}  // namespace

int atexit(void (*fn)()) {
  if (handlers_top == handlers) return -1;
  *--handlers_top = fn;
  run_exit_handlers = run_handler_stack;
  return 0;
}

void exit(int status) {
  if (run_exit_handlers != nullptr) run_exit_handlers();
  if (stream_close_hook != nullptr) stream_close_hook();
  _exit(status & 0xFF);
}

void _exit(int status) {
  if (exit_hook != nullptr) exit_hook(status);
  ExitProcess(static_cast<UINT>(status));
}

}  // namespace zav
