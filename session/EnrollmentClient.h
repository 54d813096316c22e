#pragma once

#include <string>

#include "session/GssApi.h"

namespace session {

// The direct route to the organisation's enrollment service: one TCP
// connection per enrollment. The request is sent whole, the sending side is
// shut, and the answer is read until the service closes (at most
// EnrollmentMessage::kMaxSize bytes, each wait bounded by kTimeoutMs).
class EnrollmentClient {
 public:
  static constexpr int kTimeoutMs = 30000;

  // Sends request to server ("host:port") and returns its answer. False with
  // minor 43 when the service cannot be reached or does not answer in time.
  static bool Exchange(const std::string& server, const std::string& request, std::string& reply,
                       OM_uint32& minor);
};

}  // namespace session
