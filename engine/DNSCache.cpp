#include "engine/DNSCache.h"

#include <list>
#include <memory>
#include <strings.h>

#include "platform/CriticalSection.h"
#include "platform/WinSock.h"

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;

// The class-wide state: newest entry first. Destroyed at program end, which
// deletes every entry.
struct CacheState {
  CriticalSection lock;
  std::list<std::unique_ptr<DNSCacheEntry>> entries;
  DNSCache::Resolver resolver = nullptr;
};

CacheState& State() {
  static CacheState state;
  return state;
}

bool SystemResolve(const char* name, uint32_t& address) { return winsock::ResolveHostIPv4(name, address); }

}  // namespace

bool DNSCache::Resolve(const char* name, uint32_t& address) {
  address = kNone;
  if (name == nullptr || *name == '\0') return false;
  address = winsock::inet_addr_v4(name);
  if (address != kNone) return true;
  uint32_t cached = Find(name);
  if (cached != kNone) {
    address = cached;
    return true;
  }
  Resolver resolver = State().resolver != nullptr ? State().resolver : SystemResolve;
  uint32_t found = kNone;
  if (!resolver(name, found) || found == kNone) return false;
  address = found;
  Add(name, found);
  return true;
}

uint32_t DNSCache::Find(const char* name) {
  CacheState& state = State();
  CriticalSectionLock guard(state.lock);
  for (auto it = state.entries.begin(); it != state.entries.end(); ++it) {
    if (strcasecmp((*it)->GetName().Text(), name) != 0) continue;
    if (it != state.entries.begin()) state.entries.splice(state.entries.begin(), state.entries, it);
    return state.entries.front()->GetAddress();
  }
  return kNone;
}

void DNSCache::Add(const char* name, uint32_t address) {
  auto entry = std::make_unique<DNSCacheEntry>(name, address);
  CacheState& state = State();
  CriticalSectionLock guard(state.lock);
  state.entries.push_front(std::move(entry));
  if (state.entries.size() > kCapacity) state.entries.pop_back();
}

void DNSCache::SetResolver(Resolver resolver) {
  CriticalSectionLock guard(State().lock);
  State().resolver = resolver;
}

size_t DNSCache::GetEntryCount() {
  CriticalSectionLock guard(State().lock);
  return State().entries.size();
}

void DNSCache::Clear() {
  CriticalSectionLock guard(State().lock);
  State().entries.clear();
}
