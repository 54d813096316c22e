#include "toolkit/SessionTable.h"

#include <openssl/crypto.h>

namespace toolkit {

namespace {

// Sessions hold OpenSSL keys. OpenSSL frees its own state at exit; starting
// it before the table exists makes the table's destructor run first.
bool StartOpenSsl() {
  return OPENSSL_init_crypto(0, nullptr) == 1;
}

}  // namespace

SessionTable& SessionTable::Instance() {
  static const bool started = StartOpenSsl();
  static SessionTable table;
  (void)started;
  return table;
}

uint32_t SessionTable::Add(std::unique_ptr<ToolkitSession> session) {
  std::lock_guard<std::mutex> hold(lock_);
  // A bounded search: the table cannot hold 2^32 - 1 sessions.
  for (int tries = 0; tries < 1024; ++tries) {
    uint32_t handle = ++lastHandle_;
    if (handle == 0 || sessions_.count(handle) != 0) continue;
    sessions_.emplace(handle, std::shared_ptr<ToolkitSession>(std::move(session)));
    return handle;
  }
  return 0;
}

std::shared_ptr<ToolkitSession> SessionTable::Find(uint32_t handle) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = sessions_.find(handle);
  return found == sessions_.end() ? nullptr : found->second;
}

bool SessionTable::Remove(uint32_t handle) {
  std::shared_ptr<ToolkitSession> removed;
  std::lock_guard<std::mutex> hold(lock_);
  auto found = sessions_.find(handle);
  if (found == sessions_.end()) return false;
  removed = std::move(found->second);
  sessions_.erase(found);
  return true;
}

}  // namespace toolkit
