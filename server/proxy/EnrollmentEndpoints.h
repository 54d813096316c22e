#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "server/EnrollmentService.h"
#include "server/proxy/SecureExchange.h"
#include "server/proxy/ServerConfig.h"

namespace vserver {

class HttpMessageReader;

// The enrollment endpoints of velgrade-server, active when the settings
// name an enrollment authority folder:
// - sepURL takes one enrollment step a POST: the body is the client
//   library's request, the answer a grant with Content-Type
//   "application/x-Corvask-SEP"; a refusal is an empty body of type
//   "application/x-Corvask-SEP-Error".
// - registerURL takes a card holder's registration identifier as the body
//   and answers "ref=<value>&auth=<value>" with Content-Type
//   "application/x-Corvask-Registration"; an unknown or used identifier
//   gets 403 with a plain-text body.
// Shared by the worker threads.
class EnrollmentEndpoints {
 public:
  static constexpr char kSepType[] = "application/x-Corvask-SEP";
  static constexpr char kSepErrorType[] = "application/x-Corvask-SEP-Error";
  static constexpr char kRegistrationType[] = "application/x-Corvask-Registration";

  explicit EnrollmentEndpoints(const ServerConfig& config) : config_(config) {}

  // Loads the authority when the settings name one. False with error.
  bool Open(std::string& error);

  // Answers request when its path is one of the endpoints; false (reply
  // untouched) for every other request.
  bool Answer(const HttpMessageReader& request, const std::string& peer, Reply& reply) const;

  // The request target's path: an absolute URL loses its scheme and host,
  // the query stays out.
  static std::string_view TargetPath(std::string_view requestLine);

 private:
  void AnswerSep(std::string_view body, const std::string& peer, Reply& reply) const;
  void AnswerRegistration(std::string_view body, const std::string& peer, Reply& reply) const;

  const ServerConfig& config_;  // outlives the endpoints
  std::unique_ptr<EnrollmentService> service_;
};

}  // namespace vserver
