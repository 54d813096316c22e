#include "engine/DNSCache.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

std::map<std::string, int> g_lookups;

// Resolves "hostN" (any letter case) to 10.0.0.N; everything else fails.
bool FakeResolve(const char* name, uint32_t& address) {
  ++g_lookups[name];
  int number = 0;
  if (std::sscanf(name, "host%d", &number) != 1 && std::sscanf(name, "HOST%d", &number) != 1) return false;
  address = htonl(0x0A000000u + static_cast<uint32_t>(number));
  return true;
}

class DNSCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DNSCache::Clear();
    DNSCache::SetResolver(FakeResolve);
    g_lookups.clear();
  }
  void TearDown() override {
    DNSCache::SetResolver(nullptr);
    DNSCache::Clear();
  }
};

TEST_F(DNSCacheTest, DottedQuadBypassesTheCache) {
  uint32_t address = 0;
  EXPECT_TRUE(DNSCache::Resolve("127.0.0.1", address));
  EXPECT_EQ(htonl(0x7F000001), address);
  EXPECT_EQ(0u, DNSCache::GetEntryCount());
  EXPECT_TRUE(g_lookups.empty());
  // The all-ones address is the failure value, so it is treated as a name.
  EXPECT_FALSE(DNSCache::Resolve("255.255.255.255", address));
  EXPECT_EQ(1, g_lookups["255.255.255.255"]);
}

TEST_F(DNSCacheTest, EmptyAndNullNamesFail) {
  uint32_t address = 0;
  EXPECT_FALSE(DNSCache::Resolve(nullptr, address));
  EXPECT_FALSE(DNSCache::Resolve("", address));
  EXPECT_EQ(0xFFFFFFFFu, address);
}

TEST_F(DNSCacheTest, HitIgnoresLetterCase) {
  uint32_t first = 0;
  uint32_t second = 0;
  EXPECT_TRUE(DNSCache::Resolve("host7", first));
  EXPECT_TRUE(DNSCache::Resolve("HOST7", second));
  EXPECT_EQ(first, second);
  EXPECT_EQ(1, g_lookups["host7"]);
  EXPECT_EQ(0, g_lookups["HOST7"]);
}

TEST_F(DNSCacheTest, FailedNameIsAskedEachTime) {
  uint32_t address = 0;
  EXPECT_FALSE(DNSCache::Resolve("nowhere", address));
  EXPECT_FALSE(DNSCache::Resolve("nowhere", address));
  EXPECT_EQ(2, g_lookups["nowhere"]);
  EXPECT_EQ(0u, DNSCache::GetEntryCount());
}

TEST_F(DNSCacheTest, LeastRecentlyUsedOfSixtyFiveIsDropped) {
  uint32_t address = 0;
  for (int i = 0; i < 64; ++i) DNSCache::Resolve(("host" + std::to_string(i)).c_str(), address);
  // Using host0 again makes host1 the least recently used.
  DNSCache::Resolve("host0", address);
  DNSCache::Resolve("host64", address);
  EXPECT_EQ(DNSCache::kCapacity, DNSCache::GetEntryCount());
  DNSCache::Resolve("host0", address);
  EXPECT_EQ(1, g_lookups["host0"]);
  DNSCache::Resolve("host1", address);
  EXPECT_EQ(2, g_lookups["host1"]);
}

}  // namespace
