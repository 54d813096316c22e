#include "validation/PasswordValidation.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PasswordValidationTest, ReportsTheFirstRuleBroken) {
  const struct {
    const char* user;
    const char* password;
    const char* old;
    int result;
  } cases[] = {
      {"bob", "Abcdefg", nullptr, 122},        // 7 characters
      {"bob", "", nullptr, 122},
      {"bob", "Abcdefgh", nullptr, 0},         // 8 characters
      {"bob", "aaaaBcde", nullptr, 0},         // 4 of 8: not more than half
      {"bob", "aaaaaBcd", nullptr, 123},       // 5 of 8
      {"bob", "aAaAaAbB", nullptr, 0},         // exact byte comparison: a and A differ
      {"bob", "aaaaaaa", nullptr, 122},        // length is tested first
      {"bob", "abcdefg1", nullptr, 125},       // digits do not stand in for upper case
      {"bob", "ABCDEFG1", nullptr, 124},
      {"bob", "12345678", nullptr, 124},
      {"Alice.Smithy", "aLICE.sMITHY", nullptr, 126},
      {"Alice.Smithy", "alice.smithy", nullptr, 125},  // case rules come first
      {"johnson", "xxJOHNxxQ", nullptr, 127},  // H = 4: "john" is a run of the name
      {"johnson", "xxJOHxxQr", nullptr, 0},
      {"abc", "xxABCxxQr", nullptr, 0},        // name shorter than H: rule skipped
      {"abcd", "xxABCDxQr", nullptr, 127},     // name exactly H long
      {"longusername", "Qnamexxxx", nullptr, 127},
      {"bob", "Abcdefgh", "ABCDEFGH", 129},
      {"bob", "Abcdefgh", "Abcdefgi", 0},
      {"bob", "Abcdefgh", "", 0},
      {nullptr, "Abcdefgh", nullptr, 0},
      {"bob", nullptr, nullptr, 122},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CvValidatePassword(c.user, c.password, c.old), c.result)
        << (c.user ? c.user : "(null)") << " / " << (c.password ? c.password : "(null)");
  }
}

TEST(PasswordValidationTest, FindsEveryRunOfTheUserName) {
  // H = 5 for a 10-character password; each 5-character run of the name is
  // tried, the last one included.
  EXPECT_EQ(CvValidatePassword("abcdefgh", "QxyDEFGHz1", nullptr), 127);
  EXPECT_EQ(CvValidatePassword("abcdefgh", "QxyABCDEz1", nullptr), 127);
  EXPECT_EQ(CvValidatePassword("abcdefgh", "QxyBCDEzz1", nullptr), 0);
}

TEST(PasswordValidationTest, HandlesLongInputs) {
  std::string password(200000, 'x');
  for (size_t i = 0; i < password.size(); ++i) password[i] = static_cast<char>('a' + i % 26);
  password[1] = 'Q';
  std::string user(100000, 'u');
  EXPECT_EQ(CvValidatePassword(user.c_str(), password.c_str(), nullptr), 0);
}

}  // namespace
