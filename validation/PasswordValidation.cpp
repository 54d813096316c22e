#include "validation/PasswordValidation.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string>

namespace {

// A lower-case copy of a secret, overwritten with zero bytes when it goes.
class LowerCaseSecret {
 public:
  explicit LowerCaseSecret(const char* text) : text_(text) {
    for (char& c : text_) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  ~LowerCaseSecret() { explicit_bzero(text_.data(), text_.size()); }
  LowerCaseSecret(const LowerCaseSecret&) = delete;
  LowerCaseSecret& operator=(const LowerCaseSecret&) = delete;

  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

bool RepeatsACharacterTooOften(const char* password, size_t limit) {
  std::array<size_t, 256> counts{};
  for (const char* p = password; *p != '\0'; ++p) {
    if (++counts[static_cast<unsigned char>(*p)] > limit) return true;
  }
  return false;
}

bool HasCharacter(const char* text, int (*test)(int)) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (test(static_cast<unsigned char>(*p))) return true;
  }
  return false;
}

// True when some run of `run` characters of the user name occurs in the
// password, both compared in lower case.
bool ContainsPartOfUserName(const char* userName, const char* password, size_t run) {
  const size_t nameLength = std::strlen(userName);
  if (run == 0 || nameLength < run) return false;
  const LowerCaseSecret lowerPassword(password);
  std::string part(run, '\0');
  for (size_t start = 0; start + run <= nameLength; ++start) {
    for (size_t i = 0; i < run; ++i) {
      part[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(userName[start + i])));
    }
    if (lowerPassword.Text().find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

int CvValidatePassword(const char* userName, const char* newPassword, const char* oldPassword) {
  const char* name = userName != nullptr ? userName : "";
  const char* password = newPassword != nullptr ? newPassword : "";
  const size_t length = std::strlen(password);
  const size_t half = length / 2;
  if (length < 8) return kPasswordTooShort;
  if (RepeatsACharacterTooOften(password, half)) return kPasswordRepeatsCharacter;
  if (!HasCharacter(password, [](int c) { return std::islower(c); })) return kPasswordNeedsLowerCase;
  if (!HasCharacter(password, [](int c) { return std::isupper(c); })) return kPasswordNeedsUpperCase;
  if (strcasecmp(name, password) == 0) return kPasswordEqualsUserName;
  if (ContainsPartOfUserName(name, password, half)) return kPasswordContainsUserName;
  if (oldPassword != nullptr && strcasecmp(oldPassword, password) == 0) {
    return kPasswordEqualsOldPassword;
  }
  return 0;
}
