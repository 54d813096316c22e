#pragma once

#include <mutex>

// A lock in the manner of a Win32 critical section: the thread that holds it
// may enter it again, and must leave it once for every time it entered. Not
// copyable; must not be destroyed while held.
class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // Waits until no other thread holds the section, then holds it.
  void Enter();
  // Releases one level of holding. Only the holding thread may call it.
  void Leave();
  // Holds the section when no other thread does; true when it now holds it.
  bool TryEnter();

 private:
  std::recursive_mutex mutex_;
};

// Holds a critical section from construction to destruction. The section must
// outlive the lock.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : section_(section) { section_.Enter(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;
  ~CriticalSectionLock() { section_.Leave(); }

 private:
  CriticalSection& section_;
};
