#pragma once

#include <mutex>
#include <string>

namespace session {

// The library's configuration, read from the file named by cvs_set_inifile
// (corvask.ini): section "Corvask Settings", key DirectoryServer, the
// "host:port" of the organisation's directory. Process-wide and safe to use
// from several threads.
class SessionSettings {
 public:
  enum class Directory { kNotConfigured, kReachable, kUnreachable };

  static SessionSettings& Instance();

  void SetIniFile(const std::string& path);
  std::string GetIniFile() const;

  // Whether the configured directory answers a TCP connection within
  // kConnectTimeoutMs. The setting is read afresh on every call.
  Directory CheckDirectory() const;

  // The "host:port" of the organisation's enrollment service: key
  // EnrollmentServer of section "Corvask Settings". False when no
  // configuration file is set or it names no service.
  bool GetEnrollmentServer(std::string& server) const;

  static constexpr int kConnectTimeoutMs = 3000;

 private:
  mutable std::mutex lock_;
  std::string iniFile_;
};

}  // namespace session
