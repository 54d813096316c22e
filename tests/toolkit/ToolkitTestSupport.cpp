#include "tests/toolkit/ToolkitTestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

#include "session/ProfileStore.h"
#include "tests/session/TestPki.h"

session::X509Ptr ProfileCertificate(const std::string& path) {
  session::Profile profile;
  EXPECT_EQ(session::ProfileStore::Result::kDone, session::ProfileStore::Load(path.c_str(), profile));
  X509* certificate = profile.GetCertificate();
  return session::X509Ptr(certificate != nullptr ? X509_dup(certificate) : nullptr);
}

std::string WriteConfig(const std::string& directory) {
  std::string path = TestPki::Instance().NewPath("corvask") + ".ini";
  std::ofstream out(path);
  out << "[Corvask Settings]\n";
  if (!directory.empty()) out << "DirectoryServer=" << directory << "\n";
  EXPECT_TRUE(out.good());
  return path;
}

namespace {

// A socket bound to an ephemeral loopback port; returns its descriptor.
int BindLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  EXPECT_GE(fd, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
  EXPECT_EQ(0, getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length));
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

int ClosedPort() {
  int port = 0;
  close(BindLoopback(port));
  return port;
}

Listener::Listener() {
  fd_ = BindLoopback(port_);
  EXPECT_EQ(0, listen(fd_, 8));
}

Listener::~Listener() {
  if (fd_ >= 0) close(fd_);
}
