#include "session/DistinguishedName.h"

#include <gtest/gtest.h>

using session::DistinguishedName;

namespace {

struct NameCase {
  const char* text;
  const char* canonical;  // null: refused
};

const NameCase kCases[] = {
    {"cn=Alice Smith,o=Example", "cn=Alice Smith,o=Example"},
    {"CN=Server One, O=Example", "cn=Server One,o=Example"},
    {" cn = Bob , ou=Sales , o=Example , c=US ", "cn=Bob,ou=Sales,o=Example,c=US"},
    {"cn=Smith\\, Alice,o=Example", "cn=Smith\\, Alice,o=Example"},
    {"cn=J\\\\R,o=Ex", "cn=J\\\\R,o=Ex"},
    {"cn=Jörg Müller,o=Example", "cn=Jörg Müller,o=Example"},
    {"emailAddress=a@example.com,o=Example", "emailaddress=a@example.com,o=Example"},
    {"o=Example", "o=Example"},
    {"", nullptr},
    {"cn", nullptr},
    {"cn=,o=Example", nullptr},
    {"cn=Alice,,o=Example", nullptr},
    {"xx=Alice,o=Example", nullptr},
    {"cn=Alice,c=USA", nullptr},
    {"cn=Al,ice=x", nullptr},
    {"cn=A;B,o=Example", nullptr},
    {"cn=A\\q,o=Example", nullptr},
    {"cn=Tab\there,o=Example", nullptr},
    {"cn=trailing\\", nullptr},
};

TEST(DistinguishedNameTest, ParsesAndFormatsMostSpecificFirst) {
  for (const NameCase& row : kCases) {
    std::string canonical = DistinguishedName::Normalize(row.text);
    EXPECT_EQ(row.canonical == nullptr ? "" : row.canonical, canonical) << row.text;
    if (row.canonical != nullptr) {
      EXPECT_EQ(canonical, DistinguishedName::Normalize(canonical));
    }
  }
}

TEST(DistinguishedNameTest, StoresTheLeastSpecificPartFirst) {
  session::X509NamePtr name = DistinguishedName::Parse(std::string("cn=Alice,o=Example"));
  ASSERT_TRUE(name);
  ASSERT_EQ(2, X509_NAME_entry_count(name.get()));
  EXPECT_EQ(NID_organizationName,
            OBJ_obj2nid(X509_NAME_ENTRY_get_object(X509_NAME_get_entry(name.get(), 0))));
}

TEST(DistinguishedNameTest, NamesDifferingOnlyInCaseOrBlanksMatch) {
  session::X509NamePtr a = DistinguishedName::Parse(std::string("cn=Server One,o=Example"));
  session::X509NamePtr b = DistinguishedName::Parse(std::string("CN=server  one, o=EXAMPLE"));
  session::X509NamePtr c = DistinguishedName::Parse(std::string("cn=Server Two,o=Example"));
  EXPECT_EQ(0, X509_NAME_cmp(a.get(), b.get()));
  EXPECT_NE(0, X509_NAME_cmp(a.get(), c.get()));
}

}  // namespace
