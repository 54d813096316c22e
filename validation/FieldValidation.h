#pragma once

#include <cstdint>

#include "validation/Export.h"

// The input rules for the enrollment fields, exported from the resource
// library with C linkage. The functions keep no state and allocate nothing.

// Ids of the dialog and fields that the rules know.
inline constexpr int kSecurityProfileSetupDialog = 141;
inline constexpr int kTemporaryPasswordControl = 1007;
inline constexpr int kCardNumberControl = 1008;
inline constexpr int kCustomerField2Control = 1009;
inline constexpr int kCustomerField3Control = 1010;

// The field-information record: six 32-bit words. The caller fills size,
// dialog and control (and its own defaults); CvGetFieldInfo completes the
// lengths and the message. A length of 0 means no limit; a message of 0 means
// the caller's default message.
struct CvFieldInfo {
  uint32_t size;  // bytes of the record, at least sizeof(CvFieldInfo)
  uint32_t dialog;
  uint32_t control;
  uint32_t minimumLength;
  uint32_t maximumLength;
  uint32_t message;  // string-table id shown when the length is wrong
};
static_assert(sizeof(CvFieldInfo) == 24, "the record is six 32-bit words");

extern "C" {

// Writes the length rule of the record's field into the record and returns 1;
// returns 0, leaving the record untouched, for a null record, a size below 24,
// or a field without a rule. Only the size is read before it has been checked.
VELGRES_EXPORT int CvGetFieldInfo(CvFieldInfo* record);

// Returns 1 when the keystroke `character` may go into the field, else 0. In
// the temporary password and card number fields of the security profile
// setup dialog, a letter, digit, punctuation mark or blank is accepted only
// when it is a decimal digit; control keys (backspace) and characters outside
// those classes are accepted. Every other field accepts everything.
VELGRES_EXPORT int CvValidateChar(int dialog, int control, void* reserved, int character);

// Returns the string-table id of a message about `text`, or 0 when the text is
// acceptable. No field currently has a content rule, so the result is 0.
VELGRES_EXPORT int CvValidateField(int dialog, int control, void* reserved, const char* text);

}  // extern "C"
