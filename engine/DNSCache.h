#pragma once

#include <cstddef>
#include <cstdint>

#include "common/GString.h"

// One remembered host name with its IPv4 address (network order).
class DNSCacheEntry {
 public:
  DNSCacheEntry(const char* name, uint32_t address) : name_(name), address_(address) {}
  virtual ~DNSCacheEntry() = default;

  const GString& GetName() const { return name_; }
  uint32_t GetAddress() const { return address_; }

 private:
  GString name_;
  uint32_t address_;
};

// The process-wide cache of host names the engine connects to: the 64 most
// recently used names, newest first, with no time to live. Failed lookups are
// not remembered. All access is under one lock; the system lookup itself runs
// outside it. The cache owns its entries.
class DNSCache {
 public:
  static constexpr size_t kCapacity = 64;

  // Resolves name to an IPv4 address in network order. A dotted quad is
  // converted without touching the cache; a cached name (compared without
  // regard to letter case) costs no lookup and becomes the newest entry.
  // False for a null or empty name or one that does not resolve; address is
  // then 0xFFFFFFFF.
  static bool Resolve(const char* name, uint32_t& address);

  // Test seams: the system lookup used on a miss (null restores the real
  // one), the number of entries, and emptying the cache.
  using Resolver = bool (*)(const char* name, uint32_t& address);
  static void SetResolver(Resolver resolver);
  static size_t GetEntryCount();
  static void Clear();

 private:
  static uint32_t Find(const char* name);
  static void Add(const char* name, uint32_t address);
};
