// raise and the default signal action. Nothing in the runtime installs a
// handler or blocks a signal, but delivery still honours both tables.
#include <cstdint>

#include <zav/errno.h>
#include <zav/signal.h>
#include <zav/stdlib.h>

namespace zav {

namespace {

struct signal_action {
  void (*handler)(int);  // null: the default action
  uint32_t mask;
  uint32_t flags;
};

signal_action actions[NSIG_];

// Signal numbers run from 0 to 32, one more than 32 bits hold.
using signal_set = uint64_t;
signal_set pending_signals = 0;
signal_set blocked_signals = 0;

constexpr signal_set bit(int sig) { return signal_set{1} << sig; }

void apply_action(int sig) {
  if (actions[sig].handler == nullptr) _exit(256 + sig);
  actions[sig].handler(sig);
}

}  // namespace

int raise(int sig) {
  if (sig < 0 || sig >= NSIG_) return fail_with(EINVAL_);
  pending_signals |= bit(sig);
  while ((pending_signals & ~blocked_signals) != 0) {
    for (int n = 0; n < NSIG_; ++n) {
      if ((pending_signals & ~blocked_signals & bit(n)) == 0) continue;
      pending_signals &= ~bit(n);
      apply_action(n);
    }
  }
  return 0;
}

}  // namespace zav
