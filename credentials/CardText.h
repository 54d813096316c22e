#pragma once

#include "common/GString.h"

// The card text of a card holder, from which (with the temporary password)
// the registration key is derived: the card number; when customer field 3
// is not empty it is first appended to field 2 after a "#", and when the
// (extended) field 2 is not empty it is appended to the card number after a
// "#". So: "card", "card#f2" or "card#f2#f3" (field 2 may be empty in the
// last form, giving "card##f3").
class CardText {
 public:
  static GString Compose(const GString& cardNumber, const GString& field2, const GString& field3);
};
