#include "server/proxy/EnrollmentEndpoints.h"

#include "server/proxy/HttpMessageReader.h"
#include "server/proxy/RequestClassifier.h"
#include "server/proxy/ServerLog.h"
#include "server/proxy/ServerPages.h"

namespace vserver {

namespace {

std::string Head(const char* status, const char* type, size_t length) {
  return std::string("HTTP/1.0 ") + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
         std::to_string(length) + "\r\n\r\n";
}

bool IsPost(std::string_view requestLine) { return requestLine.substr(0, 5) == "POST "; }

}  // namespace

bool EnrollmentEndpoints::Open(std::string& error) {
  if (config_.enrollmentAuthority.empty()) return true;
  service_ = std::make_unique<EnrollmentService>();
  return service_->Open(config_.enrollmentAuthority, error);
}

std::string_view EnrollmentEndpoints::TargetPath(std::string_view requestLine) {
  std::string_view target = RequestClassifier::PathAfterMethod(requestLine);
  target = target.substr(0, target.find_first_of(" \r\n"));
  size_t scheme = target.find("://");
  if (scheme != std::string_view::npos) {
    size_t slash = target.find('/', scheme + 3);
    target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  return target.substr(0, target.find('?'));
}

bool EnrollmentEndpoints::Answer(const HttpMessageReader& request, const std::string& peer, Reply& reply) const {
  if (!service_) return false;
  std::string_view path = TargetPath(request.FirstLine());
  bool sep = !config_.sepURL.empty() && path == config_.sepURL;
  bool registration = !config_.registerURL.empty() && path == config_.registerURL;
  if (!sep && !registration) return false;
  if (!IsPost(request.FirstLine())) {
    reply.head = ServerPages::PlainError("405 Method Not Allowed", "Enrollment takes POST requests only.");
    return true;
  }
  if (sep) AnswerSep(request.Body(), peer, reply);
  else AnswerRegistration(request.Body(), peer, reply);
  return true;
}

void EnrollmentEndpoints::AnswerSep(std::string_view body, const std::string& peer, Reply& reply) const {
  std::string outcome;
  std::string answer = service_->Answer(body, outcome);
  if (answer.rfind("VELGRADE-ENROLLED", 0) != 0) {
    ServerLog::Write("Enrollment from <%s> refused: %s", peer.c_str(), outcome.c_str());
    reply.head = Head("200 OK", kSepErrorType, 0);
    return;
  }
  ServerLog::Write("Enrollment from <%s>: %s", peer.c_str(), outcome.c_str());
  reply.head = Head("200 OK", kSepType, answer.size());
  reply.body = std::move(answer);
}

void EnrollmentEndpoints::AnswerRegistration(std::string_view body, const std::string& peer, Reply& reply) const {
  std::string answer, outcome;
  if (!service_->AnswerRegistration(body, answer, outcome)) {
    ServerLog::Write("Registration from <%s> refused: %s", peer.c_str(), outcome.c_str());
    std::string text = "The registration was refused.\n";
    reply.head = Head("403 Forbidden", "text/plain", text.size());
    reply.body = text;
    return;
  }
  ServerLog::Write("Registration from <%s>: %s", peer.c_str(), outcome.c_str());
  reply.head = Head("200 OK", kRegistrationType, answer.size());
  reply.body = std::move(answer);
}

}  // namespace vserver
