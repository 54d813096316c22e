#include "session/ApiSupport.h"

#include <openssl/crypto.h>

#include <cstdlib>
#include <cstring>

namespace session {

bool ApiSupport::FillBuffer(gss_buffer_t buffer, const void* bytes, size_t length) {
  if (buffer == nullptr) return false;
  buffer->length = 0;
  buffer->value = nullptr;
  void* copy = std::malloc(length == 0 ? 1 : length);
  if (copy == nullptr) return false;
  if (length > 0) std::memcpy(copy, bytes, length);
  buffer->value = copy;
  buffer->length = length;
  return true;
}

void ApiSupport::ReleaseBuffer(gss_buffer_t buffer) {
  if (buffer == nullptr) return;
  if (buffer->value != nullptr) {
    OPENSSL_cleanse(buffer->value, buffer->length);
    std::free(buffer->value);
  }
  buffer->value = nullptr;
  buffer->length = 0;
}

bool ApiSupport::ReadBuffer(const gss_buffer_t buffer, const uint8_t*& bytes, size_t& length) {
  if (buffer == nullptr || (buffer->value == nullptr && buffer->length != 0)) return false;
  bytes = static_cast<const uint8_t*>(buffer->value);
  length = buffer->length;
  return true;
}

bool ApiSupport::SameOid(const gss_OID a, const gss_OID b) {
  if (a == b) return true;
  if (a == nullptr || b == nullptr || a->length != b->length) return false;
  return a->length == 0 || std::memcmp(a->elements, b->elements, a->length) == 0;
}

HandleTable<Credential>& ApiSupport::Credentials() {
  static HandleTable<Credential> table(0x40000000);
  return table;
}

}  // namespace session
