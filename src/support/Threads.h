#pragma once

#include <windows.h>

#include <chrono>
#include <mutex>

// A lock and a condition of the system's own slim kind. The C++ runtime's mutex and condition
// variable of this tool chain wait on kernel objects: under wine every wait and wake is then a
// round trip to the server, which the file-system calls of the workers need too. These wait on
// the address itself.
class TSlimLock {
public:
  TSlimLock() = default;
  TSlimLock(const TSlimLock &) = delete;
  TSlimLock &operator=(const TSlimLock &) = delete;

  void lock() { ::AcquireSRWLockExclusive(&FLock); }
  bool try_lock() { return ::TryAcquireSRWLockExclusive(&FLock) != FALSE; }
  void unlock() { ::ReleaseSRWLockExclusive(&FLock); }

private:
  friend class TSlimCondition;
  SRWLOCK FLock = SRWLOCK_INIT;
};

class TSlimCondition {
public:
  TSlimCondition() = default;
  TSlimCondition(const TSlimCondition &) = delete;
  TSlimCondition &operator=(const TSlimCondition &) = delete;

  template <class TPredicate> void wait(std::unique_lock<TSlimLock> &Guard, TPredicate Ready) {
    while (!Ready())
      ::SleepConditionVariableSRW(&FCondition, &Guard.mutex()->FLock, INFINITE, 0);
  }
  // False when Timeout passed with Ready still false.
  template <class TPredicate>
  bool wait_for(std::unique_lock<TSlimLock> &Guard, std::chrono::milliseconds Timeout, TPredicate Ready) {
    const ULONGLONG Until = ::GetTickCount64() + static_cast<ULONGLONG>(Timeout.count());
    while (!Ready()) {
      const ULONGLONG Now = ::GetTickCount64();
      if (Now >= Until)
        return false;
      ::SleepConditionVariableSRW(&FCondition, &Guard.mutex()->FLock, static_cast<DWORD>(Until - Now), 0);
    }
    return true;
  }
  void notify_one() { ::WakeConditionVariable(&FCondition); }
  void notify_all() { ::WakeAllConditionVariable(&FCondition); }

private:
  CONDITION_VARIABLE FCondition = CONDITION_VARIABLE_INIT;
};
