#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace session {

// Objects handed to callers as numbers: a handle is looked up, never
// followed, so a stale or made-up handle finds nothing. Handles are never
// reused. Safe to use from several threads; a found object stays alive for
// its finder even when another thread removes it meanwhile.
template <typename T>
class HandleTable {
 public:
  // Handles count up from first; tables of different kinds start far apart
  // so that a handle of one kind is never found in the other.
  explicit HandleTable(uintptr_t first) : next_(first) {}

  // Stores object and returns its handle (never 0).
  uintptr_t Add(std::shared_ptr<T> object) {
    std::lock_guard<std::mutex> hold(lock_);
    uintptr_t handle = next_++;
    objects_.emplace(handle, std::move(object));
    return handle;
  }

  std::shared_ptr<T> Find(uintptr_t handle) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = objects_.find(handle);
    return found == objects_.end() ? nullptr : found->second;
  }

  // Takes the object out; null when there was none.
  std::shared_ptr<T> Remove(uintptr_t handle) {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = objects_.find(handle);
    if (found == objects_.end()) return nullptr;
    std::shared_ptr<T> object = std::move(found->second);
    objects_.erase(found);
    return object;
  }

 private:
  mutable std::mutex lock_;
  uintptr_t next_;
  std::unordered_map<uintptr_t, std::shared_ptr<T>> objects_;
};

}  // namespace session
