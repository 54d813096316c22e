#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/BinData.h"
#include "session/OpenSslTypes.h"

namespace toolkit {

// One log-in to the signing toolkit: the holder's private key and certificate,
// opened from a profile with its password, and the data of the protect call
// under way. Calls on one session are serialised by its own lock. The key is
// freed (and cleansed by OpenSSL) with the session; buffered data and results
// are wiped.
class ToolkitSession {
 public:
  // The protect modes: 3 signs the data, 0 makes the value a marked page
  // carries (the SHA-256 digest of the page).
  static constexpr int32_t kModeMark = 0;
  static constexpr int32_t kModeSign = 3;
  // The one output format this toolkit makes: binary results for the ASCII
  // encoder.
  static constexpr int32_t kFormatBinary = 6;
  // More data than this in one protect call is refused.
  static constexpr size_t kMaxInput = 16 * 1024 * 1024;
  // A certificate expiring sooner than this gives a warning at log-in.
  static constexpr long kExpiryWarningSeconds = 14L * 86400;

  ~ToolkitSession();

  // Opens the profile file with the password and checks the certificate's
  // validity and, when configFile names one, the organisation's directory.
  // Returns a ToolkitStatus: success or a warning with out set; the
  // unreachable directory also with out set; any other error without.
  static int16_t LogIn(const char* profile, const char* password, const char* configFile,
                       std::unique_ptr<ToolkitSession>& out);

  int16_t StartProtect(int32_t mode, const char* contentType, int32_t format);
  int16_t Protect(const uint8_t* bytes, size_t length);
  // Makes the results of the protect call under way: the signature (mode 3;
  // empty for mode 0) and the SHA-256 digest of the data (both modes). The
  // pointers stay valid until the next StartProtect or the session's end.
  int16_t EndProtect(const BinData*& signature, const BinData*& digest);

 private:
  ToolkitSession(session::EvpPkeyPtr key, session::X509Ptr certificate);
  static int16_t CheckValidity(X509* certificate);
  static int16_t CheckDirectory(const char* configFile);
  int16_t Sign();
  void WipeData();

  std::mutex lock_;
  session::EvpPkeyPtr key_;
  session::X509Ptr certificate_;
  bool started_ = false;
  int32_t mode_ = kModeMark;
  BinData input_;
  BinData signature_;
  BinData digest_;
};

}  // namespace toolkit
