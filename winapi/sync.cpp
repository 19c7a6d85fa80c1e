// Critical sections are recursive, as on Windows. The host mutex lives outside
// the structure, whose layout is the SDK's.
#include <cerrno>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

#include <windows.h>

namespace {

std::recursive_mutex& mutex_of(LPCRITICAL_SECTION section) {
  return *static_cast<std::recursive_mutex*>(section->DebugInfo);
}

HANDLE this_thread() { return reinterpret_cast<HANDLE>(pthread_self()); }

void now_owned(LPCRITICAL_SECTION section) {
  section->OwningThread = this_thread();
  ++section->RecursionCount;
  ++section->LockCount;
}

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  *lpCriticalSection = {};
  lpCriticalSection->DebugInfo = new std::recursive_mutex;
  lpCriticalSection->LockCount = -1;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  delete &mutex_of(lpCriticalSection);
  *lpCriticalSection = {};
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  mutex_of(lpCriticalSection).lock();
  now_owned(lpCriticalSection);
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!mutex_of(lpCriticalSection).try_lock()) return FALSE;
  now_owned(lpCriticalSection);
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  --lpCriticalSection->LockCount;
  if (--lpCriticalSection->RecursionCount == 0) lpCriticalSection->OwningThread = nullptr;
  mutex_of(lpCriticalSection).unlock();
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == INFINITE) {
    for (;;) ::pause();
  }
  timespec left{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000};
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // extern "C"
