#include "validation/FieldValidation.h"

#include <cctype>

namespace {

bool IsDigitOnlyField(int dialog, int control) {
  return dialog == kSecurityProfileSetupDialog &&
         (control == kTemporaryPasswordControl || control == kCardNumberControl);
}

// True for a letter, digit, punctuation mark or blank in the current locale;
// control characters (tab included) and values outside the character range
// belong to none of these classes.
bool IsPrintableClass(int character) {
  if (character < 0 || character > 255) return false;
  return std::isalpha(character) || std::isdigit(character) || std::ispunct(character) ||
         (std::isblank(character) && !std::iscntrl(character));
}

}  // namespace

int CvGetFieldInfo(CvFieldInfo* record) {
  if (record == nullptr || record->size < sizeof(CvFieldInfo)) return 0;
  if (record->dialog != kSecurityProfileSetupDialog) return 0;
  switch (record->control) {
    case kTemporaryPasswordControl:
      record->minimumLength = 8;
      record->maximumLength = 8;
      record->message = 140;
      return 1;
    case kCardNumberControl:
      record->minimumLength = 16;
      record->maximumLength = 16;
      record->message = 150;
      return 1;
    default:
      return 0;
  }
}

int CvValidateChar(int dialog, int control, void* reserved, int character) {
  if (!IsDigitOnlyField(dialog, control) || !IsPrintableClass(character)) return 1;
  return std::isdigit(character) ? 1 : 0;
}

int CvValidateField(int dialog, int control, void* reserved, const char* text) { return 0; }
