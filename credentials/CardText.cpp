#include "credentials/CardText.h"

GString CardText::Compose(const GString& cardNumber, const GString& field2, const GString& field3) {
  GString extended = field2;
  if (!field3.IsEmpty()) extended = extended + "#" + field3;
  if (extended.IsEmpty()) return cardNumber;
  return cardNumber + "#" + extended;
}
