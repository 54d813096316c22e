#include "session/ContextTable.h"

namespace session {

ContextTable& ContextTable::Instance() {
  static ContextTable table;
  return table;
}

uintptr_t ContextTable::Add(const std::shared_ptr<GssContext>& context) {
  Key key(context->GetId(), context->GetRole());
  std::lock_guard<std::mutex> hold(lock_);
  if (byId_.count(key) != 0) return 0;
  uintptr_t handle = handles_.Add(context);
  byId_.emplace(std::move(key), handle);
  return handle;
}

std::shared_ptr<GssContext> ContextTable::Find(uintptr_t handle) const {
  return handles_.Find(handle);
}

std::shared_ptr<GssContext> ContextTable::Remove(uintptr_t handle) {
  std::lock_guard<std::mutex> hold(lock_);
  std::shared_ptr<GssContext> context = handles_.Remove(handle);
  if (context) byId_.erase(Key(context->GetId(), context->GetRole()));
  return context;
}

uintptr_t ContextTable::FindById(const std::string& id, GssContext::Role role) const {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = byId_.find(Key(id, role));
  return found == byId_.end() ? 0 : found->second;
}

}  // namespace session
