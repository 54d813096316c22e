#include "credentials/sk/SK_Key.h"

GString SK_Key::GetAlgorithmName() const {
  GString name;
  switch (type_) {
    case kSkKeyCast:
    case kSkKeyCastExport:
    case kSkKeyCast128:
      name.Format("CAST-%lu", bits_);
      break;
    case kSkKeyDes:
      name = "DES";
      break;
    case kSkKeyTripleDes:
      name = "Triple DES";
      break;
    case kSkKeyRc2:
      name.Format("RC2-%lu", bits_);
      break;
    default:
      break;
  }
  return name;
}
