#pragma once

#include <string>

#include "session/OpenSslTypes.h"

// Helpers shared by the toolkit tests.

// The certificate of the profile at path (the test fails when it cannot be
// read).
session::X509Ptr ProfileCertificate(const std::string& path);

// Writes a corvask.ini into the test folder naming directory as the
// organisation's directory ("host:port"; empty for none) and returns its path.
std::string WriteConfig(const std::string& directory);

// A loopback port on which nothing listens.
int ClosedPort();

// A loopback socket that accepts connections while it lives.
class Listener {
 public:
  Listener();
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  int GetPort() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};
