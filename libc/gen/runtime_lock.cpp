// Critical-section wrappers. A lock whose creation failed has no section, and
// every operation on it quietly does nothing.
#include <windows.h>

#include <zav/runtime_lock.h>
#include <zav/stdlib.h>

namespace zav {

runtime_lock stdio_lock = {nullptr};

void lock_create(runtime_lock* lock) {
  lock->section = static_cast<CRITICAL_SECTION*>(zav::malloc(sizeof(CRITICAL_SECTION)));
  if (lock->section != nullptr) InitializeCriticalSection(lock->section);
}

void lock_destroy(runtime_lock* lock) {
  if (lock->section == nullptr) return;
  DeleteCriticalSection(lock->section);
  zav::free(lock->section);
  lock->section = nullptr;
}

void lock_enter(runtime_lock* lock) {
  if (lock->section != nullptr) EnterCriticalSection(lock->section);
}

void lock_leave(runtime_lock* lock) {
  if (lock->section != nullptr) LeaveCriticalSection(lock->section);
}

}  // namespace zav
