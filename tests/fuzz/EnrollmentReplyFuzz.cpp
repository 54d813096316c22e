// What an enrollment reads from the network: the service's enrollment
// messages (both directions) and the values of a registration answer.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/GString.h"
#include "credentials/EnrollmentManager.h"
#include "session/EnrollmentMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  session::EnrollmentReply reply;
  session::EnrollmentRequest request;
  session::EnrollmentMessage::ParseReply(text, reply);
  session::EnrollmentMessage::ParseRequest(text, request);
  GString body(text.data(), text.size());
  GString value;
  EnrollmentManager::FindReplyValue(body, "ref", value);
  EnrollmentManager::FindReplyValue(body, "auth", value);
  return 0;
}
