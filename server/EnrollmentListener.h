#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "server/EnrollmentService.h"

// The direct route's service: a TCP listener that takes one enrollment
// request per connection (read until the client shuts its sending side, at
// most the size of a request message, each wait bounded by kTimeoutMs) and
// writes the service's answer before closing. One connection at a time;
// runs until SIGINT or SIGTERM.
class EnrollmentListener {
 public:
  static constexpr int kTimeoutMs = 10000;

  explicit EnrollmentListener(const EnrollmentService& service) : service_(service) {}

  // Binds address ("host:port"; port 0 picks a free one) and prints
  // "listening on <address>:<port>" to out. False with error.
  bool Listen(const std::string& address, std::ostream& out, std::string& error);
  // Serves until a stop signal; logs one line per request to log.
  void Serve(std::ostream& log);

 private:
  void ServeOne(int socket, std::ostream& log) const;

  const EnrollmentService& service_;  // not owned; outlives the listener
  int listener_ = -1;
};
