#pragma once

#include <ctime>
#include <string>

#include "session/CertificateAuthority.h"
#include "session/GssApi.h"
#include "session/OpenSslTypes.h"
#include "session/Profile.h"

// One organisation's authority and its profiles for a test binary, made once
// in a temporary folder (removed at exit). Keys are P-256 and the password
// derivation runs at a low cost so the tests stay quick.
class TestPki {
 public:
  static TestPki& Instance();

  // A cheap cost for test profiles only.
  static session::KdfCost CheapCost();

  const std::string& GetFolder() const { return folder_; }
  // A fresh path in the folder (nothing is created).
  std::string NewPath(const char* stem);

  // Writes a profile for name signed by this authority (or by a second,
  // unrelated one when foreign), valid from notBefore to notAfter.
  std::string WriteProfile(const char* name, session::CertificateAuthority::Role role,
                           const char* password, time_t notBefore, time_t notAfter,
                           bool foreign = false);
  // A profile valid from an hour ago for a year.
  std::string WriteProfile(const char* name, session::CertificateAuthority::Role role,
                           const char* password, bool foreign = false);

  // Opens a profile with cvs_acquire_cred; fails the test when that fails.
  gss_cred_id_t Acquire(const std::string& path, const char* password, int usage);

 private:
  TestPki();
  struct Authority {
    session::EvpPkeyPtr key;
    session::X509Ptr certificate;
  };
  static Authority MakeAuthority(const char* name);

  std::string folder_;
  Authority own_;
  Authority foreign_;
  int counter_ = 0;
};

// An established pair of contexts between a client and a server credential.
struct ContextPair {
  gss_ctx_id_t client = nullptr;
  gss_ctx_id_t server = nullptr;
  ~ContextPair();
};

// Runs INIT, ACCEPT, INIT between the two credentials; returns the last major
// status of the side that failed (or 0) and its minor.
OM_uint32 EstablishPair(gss_cred_id_t client, gss_cred_id_t server, const char* target,
                        ContextPair& pair, OM_uint32& minor);
