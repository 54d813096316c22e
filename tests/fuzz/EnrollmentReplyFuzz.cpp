// The enrollment messages a client or the service reads from the network.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "session/EnrollmentMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  session::EnrollmentReply reply;
  session::EnrollmentRequest request;
  session::EnrollmentMessage::ParseReply(text, reply);
  session::EnrollmentMessage::ParseRequest(text, request);
  return 0;
}
