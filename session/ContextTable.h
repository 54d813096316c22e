#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "session/GssContext.h"
#include "session/HandleTable.h"

namespace session {

// The process's security contexts by handle, and by the identifier their
// tokens carry. Both sides of one context may live in one process (tests, a
// proxy talking to itself), so the identifier is indexed per role: a token
// is meant for the context of the other role than its sender's.
class ContextTable {
 public:
  static ContextTable& Instance();

  // Stores a context that has made its first step. Returns 0 when a context
  // of the same role already carries that identifier (a replayed first
  // token); the context is then not stored.
  uintptr_t Add(const std::shared_ptr<GssContext>& context);
  std::shared_ptr<GssContext> Find(uintptr_t handle) const;
  std::shared_ptr<GssContext> Remove(uintptr_t handle);
  // The handle of the context of the given role with that identifier, or 0.
  uintptr_t FindById(const std::string& id, GssContext::Role role) const;

 private:
  using Key = std::pair<std::string, GssContext::Role>;

  mutable std::mutex lock_;
  HandleTable<GssContext> handles_{0x10000};
  std::map<Key, uintptr_t> byId_;
};

}  // namespace session
