#include "tests/engine/EngineTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <netinet/in.h>
#include <sys/socket.h>

namespace enginetest {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "velgrade-engine-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const char* made = mkdtemp(buffer.data());
  path_ = made != nullptr ? std::string(made) + "/" : std::string("/tmp/");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TempFolder::Write(const std::string& name, const std::string& content) const {
  std::ofstream(path_ + name, std::ios::binary) << content;
}

std::string TempFolder::Read(const std::string& name) const {
  std::ifstream file(path_ + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(fd);
  return port;
}

namespace {

void RecordMessage(const char* text, void* context, int kind) {
  auto* recorder = static_cast<Recorder*>(context);
  recorder->messages.emplace_back(text);
  recorder->kinds.push_back(kind);
}

void RecordLog(const char* line, void* context) {
  static_cast<Recorder*>(context)->logLines.emplace_back(line);
}

}  // namespace

EngineCallbacks Recorder::Callbacks() const {
  EngineCallbacks callbacks;
  callbacks.message = RecordMessage;
  callbacks.log = RecordLog;
  return callbacks;
}

bool Recorder::Logged(const std::string& fragment) const {
  for (const std::string& line : logLines) {
    if (line.find(fragment) != std::string::npos) return true;
  }
  return false;
}

std::string IniWithPort(int port, const std::string& extraLines) {
  return "[Velgrade]\nport=" + std::to_string(port) + "\n" + extraLines;
}

}  // namespace enginetest
