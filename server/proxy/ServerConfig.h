#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vserver {

// The settings of one velgrade-server, read from an INI file with one
// section [Server]. Every key is described in server/velgrade-server.ini.
// Unknown keys and sections are refused so that a misspelt setting never
// silently falls back to its default.
struct ServerConfig {
  std::string listenAddress = "127.0.0.1";
  uint16_t listenPort = 0;
  std::string profile;
  std::string passwordFile;
  std::string originHost;
  uint16_t originPort = 80;
  std::string secureURL;
  std::string insecureRedirectURL;
  // Enrollment: the authority folder whose pending enrollments and card
  // holders this server serves (none: no enrollment endpoints), and the
  // paths of the two endpoints.
  std::string enrollmentAuthority;
  std::string sepURL;
  std::string registerURL;
  // Lower case, each type followed by one blank, as the exemption test wants.
  std::string noEncryptTypes;
  std::array<std::string, 8> noEncryptDirs;
  std::vector<std::string> logoffPaths;
  std::vector<std::string> disconnectPaths;
  // Form signing: paths whose wrapped answers are marked for signing, the
  // header that tells the web site the verdict on a signed form (none when
  // empty), and whether forms without a valid signature are refused.
  std::vector<std::string> signDataPaths;
  std::string signatureHeader;
  bool requireValidSignature = false;
  std::string encryptWith = "CAST128";
  std::string signingKey = "RSA";
  unsigned contextIdleTimeout = 1800;
  unsigned handshakeTimeout = 60;
  unsigned maxContexts = 10000;
  unsigned workerThreads = 32;
  unsigned clientTimeout = 30;
  unsigned originTimeout = 60;
  size_t maxHeaderSize = 65536;
  size_t maxRequestBody = size_t{16} << 20;
  size_t maxResponseBody = size_t{256} << 20;
  bool verbose = false;

  // Reads the file at path. False with error naming the file, the line and
  // the setting when the file cannot be read or a setting is missing or bad.
  // Relative profile and password file names are resolved against the
  // folder of path.
  static bool Load(const std::string& path, ServerConfig& config, std::string& error);
  // The same for a text already in memory (name is used in messages).
  static bool Parse(const std::string& text, const std::string& name, ServerConfig& config,
                    std::string& error);
};

}  // namespace vserver
