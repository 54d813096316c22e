#include "server/proxy/ServerConfig.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include <arpa/inet.h>

namespace vserver {

namespace {

constexpr size_t kMaxConfigSize = 1 << 20;

std::string Trim(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool ParseUnsigned(const std::string& value, unsigned long long low, unsigned long long high,
                   unsigned long long& out) {
  if (value.empty() || value.size() > 19) return false;
  for (char c : value)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  out = std::strtoull(value.c_str(), nullptr, 10);
  return out >= low && out <= high;
}

std::vector<std::string> SplitWords(const std::string& value) {
  std::vector<std::string> words;
  std::string word;
  for (char c : value) {
    if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

bool IsPath(const std::string& value) { return !value.empty() && value[0] == '/'; }

// One key's reader: false with a reason when the value is unusable.
using Setter = std::function<bool(const std::string& value, ServerConfig& config,
                                  std::string& reason)>;

Setter Number(unsigned ServerConfig::*field, unsigned long long low, unsigned long long high) {
  return [=](const std::string& value, ServerConfig& config, std::string& reason) {
    unsigned long long n = 0;
    if (!ParseUnsigned(value, low, high, n)) {
      reason = "must be a whole number from " + std::to_string(low) + " to " + std::to_string(high);
      return false;
    }
    config.*field = static_cast<unsigned>(n);
    return true;
  };
}

Setter Size(size_t ServerConfig::*field, unsigned long long low, unsigned long long high) {
  return [=](const std::string& value, ServerConfig& config, std::string& reason) {
    unsigned long long n = 0;
    if (!ParseUnsigned(value, low, high, n)) {
      reason = "must be a byte count from " + std::to_string(low) + " to " + std::to_string(high);
      return false;
    }
    config.*field = static_cast<size_t>(n);
    return true;
  };
}

Setter Port(uint16_t ServerConfig::*field) {
  return [=](const std::string& value, ServerConfig& config, std::string& reason) {
    unsigned long long n = 0;
    if (!ParseUnsigned(value, 1, 65535, n)) {
      reason = "must be a port number from 1 to 65535";
      return false;
    }
    config.*field = static_cast<uint16_t>(n);
    return true;
  };
}

Setter Text(std::string ServerConfig::*field) {
  return [=](const std::string& value, ServerConfig& config, std::string& reason) {
    if (value.empty()) {
      reason = "must not be empty";
      return false;
    }
    config.*field = value;
    return true;
  };
}

Setter UrlPath(std::string ServerConfig::*field) {
  return [=](const std::string& value, ServerConfig& config, std::string& reason) {
    for (char c : value) {
      if (std::isspace(static_cast<unsigned char>(c)) || std::iscntrl(static_cast<unsigned char>(c))) {
        reason = "must be one URL without blanks";
        return false;
      }
    }
    if (value.empty()) {
      reason = "must not be empty";
      return false;
    }
    config.*field = value;
    return true;
  };
}

Setter PathList(std::vector<std::string> ServerConfig::*field) {
  return [=](const std::string& value, ServerConfig& config, std::string& reason) {
    std::vector<std::string> paths = SplitWords(value);
    for (const std::string& path : paths) {
      if (!IsPath(path)) {
        reason = "must list paths that begin with \"/\" (\"" + path + "\" does not)";
        return false;
      }
    }
    config.*field = paths;
    return true;
  };
}

Setter Flag(bool ServerConfig::*field) {
  return [=](const std::string& value, ServerConfig& config, std::string& reason) {
    std::string lower = Lower(value);
    if (lower == "1" || lower == "yes" || lower == "true" || lower == "on") {
      config.*field = true;
    } else if (lower == "0" || lower == "no" || lower == "false" || lower == "off") {
      config.*field = false;
    } else {
      reason = "must be yes or no";
      return false;
    }
    return true;
  };
}

bool SetListenAddress(const std::string& value, ServerConfig& config, std::string& reason) {
  in_addr address{};
  if (inet_pton(AF_INET, value.c_str(), &address) != 1) {
    reason = "must be an IPv4 address such as 127.0.0.1 or 0.0.0.0";
    return false;
  }
  config.listenAddress = value;
  return true;
}

bool SetTypes(const std::string& value, ServerConfig& config, std::string& reason) {
  config.noEncryptTypes.clear();
  for (const std::string& type : SplitWords(value)) {
    if (type.find('/') == std::string::npos) {
      reason = "must list content types such as image/gif (\"" + type + "\" is not one)";
      return false;
    }
    config.noEncryptTypes += Lower(type) + " ";
  }
  return true;
}

bool SetSigningKey(const std::string& value, ServerConfig& config, std::string& reason) {
  std::string upper = value;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper != "RSA" && upper != "DSA") {
    reason = "must be RSA or DSA";
    return false;
  }
  config.signingKey = upper;
  return true;
}

bool SetSignatureHeader(const std::string& value, ServerConfig& config, std::string& reason) {
  for (char c : value) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_') {
      reason = "must be a header name of letters, digits, '-' and '_'";
      return false;
    }
  }
  config.signatureHeader = value;
  return true;
}

const std::map<std::string, Setter>& Setters() {
  static const std::map<std::string, Setter> setters = [] {
    std::map<std::string, Setter> s;
    s["listenaddress"] = SetListenAddress;
    s["listenport"] = Port(&ServerConfig::listenPort);
    s["profile"] = Text(&ServerConfig::profile);
    s["passwordfile"] = Text(&ServerConfig::passwordFile);
    s["originhost"] = Text(&ServerConfig::originHost);
    s["originport"] = Port(&ServerConfig::originPort);
    s["secureurl"] = UrlPath(&ServerConfig::secureURL);
    s["insecureredirecturl"] = UrlPath(&ServerConfig::insecureRedirectURL);
    s["enrollmentauthority"] = Text(&ServerConfig::enrollmentAuthority);
    s["sepurl"] = UrlPath(&ServerConfig::sepURL);
    s["registerurl"] = UrlPath(&ServerConfig::registerURL);
    s["noencrypttypes"] = SetTypes;
    for (int i = 0; i < 8; ++i) {
      s["noencryptdir" + std::to_string(i + 1)] = [i](const std::string& value, ServerConfig& config,
                                                      std::string& reason) {
        if (!value.empty() && !IsPath(value)) {
          reason = "must be a path that begins with \"/\"";
          return false;
        }
        config.noEncryptDirs[static_cast<size_t>(i)] = value;
        return true;
      };
    }
    s["logoffpaths"] = PathList(&ServerConfig::logoffPaths);
    s["disconnectpaths"] = PathList(&ServerConfig::disconnectPaths);
    s["signdatapaths"] = PathList(&ServerConfig::signDataPaths);
    s["signatureheader"] = SetSignatureHeader;
    s["requirevalidsignature"] = Flag(&ServerConfig::requireValidSignature);
    s["encryptwith"] = Text(&ServerConfig::encryptWith);
    s["signingkey"] = SetSigningKey;
    s["contextidletimeout"] = Number(&ServerConfig::contextIdleTimeout, 1, 7 * 24 * 3600);
    s["handshaketimeout"] = Number(&ServerConfig::handshakeTimeout, 1, 3600);
    s["maxcontexts"] = Number(&ServerConfig::maxContexts, 1, 1000000);
    s["workerthreads"] = Number(&ServerConfig::workerThreads, 1, 1024);
    s["clienttimeout"] = Number(&ServerConfig::clientTimeout, 1, 3600);
    s["origintimeout"] = Number(&ServerConfig::originTimeout, 1, 3600);
    s["maxheadersize"] = Size(&ServerConfig::maxHeaderSize, 1024, size_t{1} << 20);
    s["maxrequestbody"] = Size(&ServerConfig::maxRequestBody, 0, size_t{1} << 30);
    s["maxresponsebody"] = Size(&ServerConfig::maxResponseBody, 1024, size_t{1} << 30);
    s["verbose"] = Flag(&ServerConfig::verbose);
    return s;
  }();
  return setters;
}

bool CheckRequired(const ServerConfig& config, const std::string& name, std::string& error) {
  const char* missing = nullptr;
  if (config.listenPort == 0) missing = "listenPort";
  else if (config.profile.empty()) missing = "profile";
  else if (config.passwordFile.empty()) missing = "passwordFile";
  else if (config.originHost.empty()) missing = "originHost";
  else if (config.secureURL.empty()) missing = "secureURL";
  else if (config.insecureRedirectURL.empty()) missing = "insecureRedirectURL";
  if (missing == nullptr) return true;
  error = name + ": the setting " + missing + " is missing from section [Server]";
  return false;
}

}  // namespace

bool ServerConfig::Parse(const std::string& text, const std::string& name, ServerConfig& config,
                         std::string& error) {
  std::istringstream lines(text);
  std::string line;
  std::string section;
  bool sawServer = false;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::string where = name + " line " + std::to_string(number) + ": ";
    size_t comment = line.find_first_of(";#");
    std::string content = Trim(comment == std::string::npos ? line : line.substr(0, comment));
    if (content.empty()) continue;
    if (content.front() == '[') {
      if (content.back() != ']') {
        error = where + "a section header must end with \"]\"";
        return false;
      }
      section = Lower(Trim(content.substr(1, content.size() - 2)));
      if (section != "server") {
        error = where + "unknown section [" + content.substr(1, content.size() - 2) +
                "]; the settings belong in section [Server]";
        return false;
      }
      sawServer = true;
      continue;
    }
    size_t equals = content.find('=');
    if (equals == std::string::npos) {
      error = where + "expected a setting written key=value";
      return false;
    }
    if (section.empty()) {
      error = where + "settings must follow the section header [Server]";
      return false;
    }
    std::string key = Trim(content.substr(0, equals));
    std::string value = Trim(content.substr(equals + 1));
    auto setter = Setters().find(Lower(key));
    if (setter == Setters().end()) {
      error = where + "unknown setting \"" + key + "\"";
      return false;
    }
    std::string reason;
    if (!setter->second(value, config, reason)) {
      error = where + "the setting " + key + " " + reason + " (it is \"" + value + "\")";
      return false;
    }
  }
  if (!sawServer) {
    error = name + ": no section [Server]";
    return false;
  }
  return CheckRequired(config, name, error);
}

bool ServerConfig::Load(const std::string& path, ServerConfig& config, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot read the configuration file";
    return false;
  }
  std::string text;
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxConfigSize) {
      error = path + ": the configuration file is larger than 1 MiB";
      return false;
    }
  }
  if (!Parse(text, path, config, error)) return false;
  // Relative file names are taken from the configuration file's folder.
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  for (std::string* file : {&config.profile, &config.passwordFile, &config.enrollmentAuthority}) {
    if (!file->empty() && std::filesystem::path(*file).is_relative())
      *file = (folder / *file).lexically_normal().string();
  }
  return true;
}

}  // namespace vserver
