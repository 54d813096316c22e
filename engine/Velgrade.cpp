#include "engine/Velgrade.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

#include "engine/DNSCache.h"
#include "engine/ProfileLong.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/VersionInfo.h"

namespace {

constexpr char kSection[] = "Velgrade";
constexpr char kCorvaskSection[] = "Corvask Settings";
constexpr uint16_t kDefaultPort = 8080;

}  // namespace

Velgrade::Velgrade(const char* programDirectory, const EngineCallbacks& callbacks,
                   void* callbackContext)
    : programDirectory_(programDirectory != nullptr ? programDirectory : ""),
      callbacks_(callbacks),
      callbackContext_(callbackContext) {
  configFile_ = programDirectory_ + "corvask.ini";
  chainProxy_.sin_family = AF_INET;
  chainProxy_.sin_addr.s_addr = kNoAddress;
  ReadProductVersion();
  ReadConfiguration();
  HandConfigurationToSession();
}

Velgrade::~Velgrade() {
  Log(kLogSocketEvents, "Shutting down on port %d.\n", listenPort_);
  SignOff(1, nullptr);
  if (hooks_.engineClosing != nullptr) hooks_.engineClosing();
  if (listenSocket_ != winsock::INVALID_SOCKET) winsock::closesocket(listenSocket_);
  FreeToolkit();
}

void Velgrade::ReadProductVersion() {
  char path[MAX_PATH * 4];
  VersionBlock block;
  if (GetModuleFileNameA(nullptr, path, sizeof path) != 0 && GetFileVersionInfo(path, block) &&
      !block.productVersionText.IsEmpty()) {
    productVersion_ = block.productVersionText;
  } else {
    productVersion_ = "UNKNOWN";
  }
}

void Velgrade::ReadConfiguration() {
  const char* file = configFile_.Text();
  char path[MAX_PATH * 4];
  GString besideProgram("corvask.ini");
  if (GetModuleFileNameA(nullptr, path, sizeof path) != 0) {
    GString module(path);
    int slash = module.ReverseFind('/');
    if (slash >= 0) besideProgram = module.Left(slash + 1) + "corvask.ini";
  }
  configurationPresent_ = _access(besideProgram.Text(), kAccessReadWrite) == 0 ? 1 : 0;
  singleLogin_ = configurationPresent_ ? 0 : 1;

  char text[1024];
  if (configurationPresent_) {
    GetProfileStringLong(kSection, "VersionType", "enterprise", text, 256, file);
    financialEdition_ = strcasecmp(text, "financial") == 0 ? 1 : 0;
  }
  GetProfileStringLong(kCorvaskSection, "SigningKey", "RSA", text, 256, file);
  signatureSize_ = strcasecmp(text, "DSA") == 0 ? 48 : 64;

  noDelaySockets_ = static_cast<int>(GetPrivateProfileIntA(kSection, "noDelaySockets", 0, file));
  nonBlockingSockets_ = static_cast<int>(GetPrivateProfileIntA(kSection, "nonBlockingSockets", 1, file));
  contextTimeout_ = static_cast<int>(GetPrivateProfileIntA(kSection, "contextTimeout", 480 / 60, file)) * 60;
  inactivityTimeout_ = static_cast<int>(GetPrivateProfileIntA(kSection, "timeout", 900 / 60, file)) * 60;
  allowAutoProxy_ = static_cast<int>(GetPrivateProfileIntA(kSection, "AllowAutoProxy", 1, file));
  sepByProxy_ = static_cast<int>(GetPrivateProfileIntA(kCorvaskSection, "SEPByProxy", 0, file));
  fetchChainProxy_ = static_cast<int>(GetPrivateProfileIntA(kSection, "FetchChainProxy", 0, file));
  chainReplyReceived_ = 0;
  chainReplyUsable_ = 0;

  GetProfileStringLong(kSection, "port", "8080", text, 20, file);
  long port = 0;
  for (const char* digit = text; *digit >= '0' && *digit <= '9' && port <= 65536; ++digit) {
    port = port * 10 + (*digit - '0');
  }
  listenPort_ = port < 1 || port > 65535 ? kDefaultPort : static_cast<uint16_t>(port);

  GetProfileStringLong(kSection, "chainProxy", "", text, sizeof text, file);
  if (contextTimeout_ < 60) contextTimeout_ = 480;
  if (inactivityTimeout_ < 300 || inactivityTimeout_ > 1800) inactivityTimeout_ = 900;

  char host[129];
  int chainPort = 0;
  if (text[0] != '\0' && std::sscanf(text, "%128s %d", host, &chainPort) == 2) {
    uint32_t address = kNoAddress;
    if (!DNSCache::Resolve(host, address)) ShowMessage(2048, host);
    chainProxy_.sin_addr.s_addr = address;
    chainProxy_.sin_port = htons(static_cast<uint16_t>(chainPort));
  }

  GetProfileStringLong(kSection, "registerURL", "", text, sizeof text, file);
  if (text[0] != '\0') registrationCommand_ = GString("POST ") + text + " HTTP/1.0\r\n";
  GetProfileStringLong(kSection, "sepURL", "", text, sizeof text, file);
  if (text[0] != '\0') profileCreationCommand_ = GString("POST ") + text + " HTTP/1.0\r\n";
}

GString Velgrade::GetEncryptAlgorithm() {
  if (!encryptAlgorithm_.IsEmpty()) return encryptAlgorithm_;
  GString profile;
  {
    CriticalSectionLock guard(credential_.lock);
    profile = credential_.profileName;
  }
  if (profile.IsEmpty()) {
    ShowMessage(2142);
    return "CAST128";
  }
  char name[256];
  GetProfileStringLong("options", "EncryptWith", "CAST128", name, sizeof name, profile.Text());
  encryptAlgorithm_ = name;
  return encryptAlgorithm_;
}

bool Velgrade::CheckServerDN(const GString& name) {
  GString expected = LoadMessage(2125);
  if (expected.Find("cn=S") < 0) expected = "cn=S";
  int at = name.Find(expected.Text());
  if (at < 0) return false;
  int comma = name.Find(',');
  return comma < 0 || at < comma;
}

bool Velgrade::ConfirmSubmission(int signedForm) {
  if (callbacks_.confirmSubmit == nullptr) return true;
  return callbacks_.confirmSubmit(callbackContext_, signedForm);
}

void Velgrade::ShowServerError(const GString& text) {
  if (callbacks_.serverError != nullptr) callbacks_.serverError(text, callbackContext_);
}

void Velgrade::NotifyRequest(const char* requestLine, const char* header, const BinData& body) {
  if (callbacks_.request != nullptr) callbacks_.request(requestLine, header, body, callbackContext_);
}
