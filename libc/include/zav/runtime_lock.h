// The runtime's critical-section wrappers.
#pragma once

#include <windows.h>

namespace zav {

struct runtime_lock {
  CRITICAL_SECTION* section;
};

void lock_create(runtime_lock* lock);
void lock_destroy(runtime_lock* lock);
void lock_enter(runtime_lock* lock);
void lock_leave(runtime_lock* lock);

extern runtime_lock stdio_lock;

}  // namespace zav
