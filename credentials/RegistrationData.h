#pragma once

#include <memory>

#include "common/GString.h"
#include "credentials/CliDecryptor.h"
#include "credentials/EnrollmentCompletion.h"

class Velgrade;

// A card holder's registration request in flight: what the reply handler
// needs to decrypt the answer and create the profile. The transaction that
// sends the request carries the record; the reply handler deletes it. The
// destructor overwrites the password; the decryptor wipes its own secrets.
class RegistrationData {
 public:
  RegistrationData(int newProfile, const char* password, const char* profilePath,
                   std::unique_ptr<CliDecryptor> decryptor, Velgrade& engine, EnrollmentCompletion completion,
                   void* context);
  RegistrationData(const RegistrationData&) = delete;
  RegistrationData& operator=(const RegistrationData&) = delete;
  virtual ~RegistrationData();

  virtual const char* GetRuntimeClassName() const { return "RegistrationData"; }

  int newProfile;
  GString password;
  GString profilePath;
  std::unique_ptr<CliDecryptor> decryptor;  // owned
  Velgrade& engine;                         // outlives the record
  EnrollmentCompletion completion;
  void* context;  // the caller's, passed to completion
};
