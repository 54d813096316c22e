#pragma once

#include <ctime>
#include <string>

#include "session/OpenSslTypes.h"

// The folder that holds the organisation's certification authority:
// kCertificateFile (the authority's certificate, PEM, public) and kKeyFile
// (its private key, PEM PKCS#8, mode 0600). The folder is the organisation's
// most sensitive asset: whoever reads the key can issue profiles.
class AuthorityFolder {
 public:
  static constexpr char kCertificateFile[] = "ca.pem";
  static constexpr char kKeyFile[] = "ca-key.pem";

  // Creates the folder when missing (mode 0700) and a new authority in it
  // for name, valid for days from now. Existing authority files are replaced
  // only when replace is set. False with a message in error.
  static bool Create(const std::string& folder, const X509_NAME* name, long days, bool replace,
                     std::string& error);

  // Loads an authority; false with a message in error.
  static bool Load(const std::string& folder, session::EvpPkeyPtr& key, session::X509Ptr& certificate,
                   std::string& error);
};
