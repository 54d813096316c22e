#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "toolkit/ToolkitSession.h"

namespace toolkit {

// The process-wide table of log-in handles. Handles are non-zero 32-bit
// numbers, never two alike among the live ones; the table owns each session
// while its handle lives, and callers hold a shared reference for the span of
// one call, so a log-out on another thread cannot free a session in use.
class SessionTable {
 public:
  static SessionTable& Instance();

  // Takes the session; returns its handle, or 0 when no handle is free.
  uint32_t Add(std::unique_ptr<ToolkitSession> session);
  // The session of handle, or null.
  std::shared_ptr<ToolkitSession> Find(uint32_t handle);
  // Forgets the handle; false when it was not live.
  bool Remove(uint32_t handle);

 private:
  SessionTable() = default;

  std::mutex lock_;
  std::map<uint32_t, std::shared_ptr<ToolkitSession>> sessions_;
  uint32_t lastHandle_ = 0;
};

}  // namespace toolkit
