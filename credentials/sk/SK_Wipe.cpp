#include "credentials/sk/SK_Wipe.h"

#include <string.h>

void SK_Wipe(void* data, size_t length) {
  if (data != nullptr && length != 0) explicit_bzero(data, length);
}
