#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>

#include "resources/ResourceDirectory.h"

extern "C" const ResourceDirectory* VelgresResourceDirectory();

namespace {

const ResourceDirectory& Directory() { return *VelgresResourceDirectory(); }

std::string Text(uint32_t id) {
  const char* text = FindStringEntry(Directory().strings, Directory().stringCount, id);
  return text == nullptr ? std::string("<missing>") : std::string(text);
}

TEST(StringTableTest, IdsAreUniqueAndSorted) {
  const ResourceDirectory& directory = Directory();
  ASSERT_EQ(directory.size, sizeof(ResourceDirectory));
  ASSERT_GT(directory.stringCount, 0u);
  for (uint32_t i = 1; i < directory.stringCount; ++i) {
    EXPECT_LT(directory.strings[i - 1].id, directory.strings[i].id) << "entry " << i;
  }
  for (uint32_t i = 0; i < directory.stringCount; ++i) {
    EXPECT_NE(directory.strings[i].text, nullptr) << directory.strings[i].id;
  }
}

TEST(StringTableTest, HoldsExactlyTheListedIds) {
  std::ifstream list(VELGRADE_TEST_DATA "/resources/string-ids.txt");
  ASSERT_TRUE(list.good());
  std::set<uint32_t> listed;
  std::string line;
  while (std::getline(list, line)) {
    if (!line.empty()) listed.insert(static_cast<uint32_t>(std::stoul(line)));
  }
  std::set<uint32_t> present;
  for (uint32_t i = 0; i < Directory().stringCount; ++i) present.insert(Directory().strings[i].id);
  EXPECT_EQ(present, listed);
}

TEST(StringTableTest, HoldsTheExactTexts) {
  const struct {
    uint32_t id;
    const char* text;
  } cases[] = {
      {104, "Windows sockets initialization failed."},
      {113, "No version information for %1.\n"},
      {117, "%m/%d/%Y %H:%M:%S\n"},
      {122, "Password too short."},
      {129, "The new password cannot be the same as the old password."},
      {145, "The Corvask icon rotates to confirm that your information is secure whenever your "
            "browser is exchanging data directly with  the Velgrade protected Web site."},
      {148, "\n\nPlease consult the on-line help or contact your system administrator if you "
            "require assistance."},
      {2048, "The specified remote proxy/host\n\n%s\n\ndoes not have a DNS entry.\nOperating "
             "with no remote proxy."},
      {2063, "Error %s initializing socket.\n\nVelgrade may already be running"},
      {2096, "client"},
      {2104, "Error %s reading data from host <%s>."},
      {2114, "HTTP/1.0 500 Error from Velgrade proxy\r\n"},
      {2115, "5"},
      {2118, "65535"},
      {2119, "HTTP/1.0 302 Velgrade Required\r\n"},
      {2125, "cn=Server"},
      {2127, "0"},
      {2135, "The public directory  is unavailable."},
      {2149, "The directory name cannot contain any of the following characters:\n\t\t\\/:*?\"<>|"},
      {10004, "Interrupted function call"},
      {10035, "Resource temporarily unavailable"},
      {10048, "Address already in use"},
      {10061, "Connection refused"},
      {11001, "Host not found"},
      {11004, "Valid name, no data record of requested type"},
      {57344, "Velgrade"},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.id), c.text) << c.id;
  EXPECT_EQ(Text(2056), "<missing>");
}

TEST(StringTableTest, PageTemplatesContinueWithTheirSecondHalf) {
  const struct {
    uint32_t first;
    const char* prefix;
    uint32_t second;
    const char* secondStart;
  } cases[] = {
      {2076, "\\2077\\<html><head><title>Browser Error</title>", 2077, "<blockquote><b><hr size=4><pre>\n"},
      {2091, "\\2092\\<html><head><title>Security Error</title>", 2092, "The Velgrade %s at %s:%d"},
      {2093, "\\2094\\<html><head><title>Error</title></head><body>\n<noscript>\n", 2094,
       "</noscript>\n<SCRIPT LANGUAGE=\"JavaScript\">\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.first).rfind(c.prefix, 0), 0u) << c.first;
    EXPECT_EQ(Text(c.second).rfind(c.secondStart, 0), 0u) << c.second;
    EXPECT_NE(Text(c.second)[0], '\\') << c.second;
  }
  EXPECT_EQ(Text(2077),
            "<blockquote><b><hr size=4><pre>\n%s%s</pre><hr size=4></b></blockquote><p>\nReason: "
            "%s\n</body></html>");
  EXPECT_EQ(Text(2094),
            "</noscript>\n<SCRIPT LANGUAGE=\"JavaScript\">\n<!-- Begin to hide script contents from "
            "old browsers.\n\talert(\"%s\")\n// End the hiding here. -->\n</SCRIPT>\n</body></html>");
}

TEST(StringTableTest, SocketErrorTextsFitTheirBuffer) {
  int count = 0;
  for (uint32_t i = 0; i < Directory().stringCount; ++i) {
    const StringEntry& entry = Directory().strings[i];
    if (entry.id < 10000 || entry.id >= 12048) continue;
    ++count;
    EXPECT_LE(std::string(entry.text).size(), 64u) << entry.id;
  }
  EXPECT_EQ(count, 51);
}

}  // namespace
