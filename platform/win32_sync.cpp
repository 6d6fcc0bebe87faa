// Handles, waits, threads, critical sections, time and the per-thread error code.
#include <sched.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "platform/kernel_object.h"
#include "platform/win32.h"

namespace kernel = ombix::kernel;

namespace {
thread_local DWORD t_last_error = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() {
  return t_last_error;
}
void SetLastError(DWORD dwErrCode) {
  t_last_error = dwErrCode;
}

void Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == 0) {
    sched_yield();
    return;
  }
  if (dwMilliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD GetTickCount() {
  const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count();
  return static_cast<DWORD>(static_cast<ULONGLONG>(ms));  // keeps the low 32 bits: wraps
}

void GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  if (lpSystemTime == nullptr) return;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  lpSystemTime->wYear = static_cast<WORD>(utc.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(utc.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
  lpSystemTime->wDay = static_cast<WORD>(utc.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(utc.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(utc.tm_min);
  lpSystemTime->wSecond = static_cast<WORD>(utc.tm_sec > 59 ? 59 : utc.tm_sec);  // leap second
  lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                    LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (lpStartAddress == nullptr || dwCreationFlags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  try {
    auto thread = kernel::Thread::Start(std::shared_ptr<kernel::Thread>(new kernel::Thread),
                                        lpStartAddress, lpParameter, lpThreadId);
    return kernel::Insert(std::move(thread));
  } catch (const std::exception&) {  // no memory, or no thread to be had
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
  if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::vector<std::shared_ptr<kernel::Object>> objects;
  objects.reserve(nCount);
  for (DWORD i = 0; i < nCount; ++i) {
    for (DWORD j = 0; j < i; ++j) {
      if (lpHandles[j] == lpHandles[i]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
      }
    }
    auto object = kernel::Lookup(lpHandles[i]);
    if (object == nullptr) {
      SetLastError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    objects.push_back(std::move(object));
  }
  return kernel::Wait(objects, bWaitAll != FALSE, dwMilliseconds);
}

BOOL CloseHandle(HANDLE hObject) {
  if (hObject == GetCurrentProcess()) return TRUE;
  if (!kernel::Remove(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HANDLE GetCurrentProcess() {
  return INVALID_HANDLE_VALUE;
}

BOOL DuplicateHandle(HANDLE hSourceProcessHandle, HANDLE hSourceHandle, HANDLE hTargetProcessHandle,
                     LPHANDLE lpTargetHandle, DWORD, BOOL, DWORD dwOptions) {
  if (hSourceProcessHandle != GetCurrentProcess() || hTargetProcessHandle != GetCurrentProcess()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto object = kernel::Lookup(hSourceHandle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (lpTargetHandle == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpTargetHandle = kernel::Insert(std::move(object));
  if ((dwOptions & DUPLICATE_CLOSE_SOURCE) != 0) kernel::Remove(hSourceHandle);
  return TRUE;
}

// The mutex inside CRITICAL_SECTION is ready from construction and needs no teardown, so
// Initialize and Delete have nothing to do.
void InitializeCriticalSection(LPCRITICAL_SECTION) {}
void DeleteCriticalSection(LPCRITICAL_SECTION) {}
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  lpCriticalSection->mutex.lock();
}
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  return lpCriticalSection->mutex.try_lock() ? TRUE : FALSE;
}
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  lpCriticalSection->mutex.unlock();
}
