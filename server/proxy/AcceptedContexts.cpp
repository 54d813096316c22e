#include "server/proxy/AcceptedContexts.h"

#include <vector>

namespace vserver {

AcceptedContexts::Entry::~Entry() {
  OM_uint32 minor = 0;
  gss_ctx_id_t doomed = handle;
  gss_delete_sec_context(&minor, &doomed, GSS_C_NO_BUFFER);
}

bool AcceptedContexts::Add(const std::shared_ptr<Entry>& entry) {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.emplace(entry->handle, entry).second;
}

std::shared_ptr<AcceptedContexts::Entry> AcceptedContexts::Find(gss_ctx_id_t handle) {
  std::lock_guard<std::mutex> guard(lock_);
  auto found = entries_.find(handle);
  if (found == entries_.end()) return nullptr;
  found->second->lastUsed = std::time(nullptr);
  return found->second;
}

void AcceptedContexts::Remove(gss_ctx_id_t handle) {
  std::shared_ptr<Entry> removed;
  std::lock_guard<std::mutex> guard(lock_);
  auto found = entries_.find(handle);
  if (found == entries_.end()) return;
  removed = std::move(found->second);
  entries_.erase(found);
}

size_t AcceptedContexts::PurgeIdle(time_t now, unsigned idleSeconds, unsigned handshakeSeconds) {
  // Deleted outside the lock: gss_delete_sec_context takes the library's own.
  std::vector<std::shared_ptr<Entry>> removed;
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = entries_.begin(); it != entries_.end();) {
      const Entry& entry = *it->second;
      time_t limit = entry.established ? idleSeconds : handshakeSeconds;
      if (now - entry.lastUsed > limit) {
        removed.push_back(std::move(it->second));
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
  }
  return removed.size();
}

size_t AcceptedContexts::Size() const {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.size();
}

}  // namespace vserver
