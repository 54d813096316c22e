#pragma once

#include "common/GString.h"
#include "credentials/EnrollmentCompletion.h"
#include "session/GssApi.h"

class Velgrade;

// One posted step of an enrollment through the server: what the next call
// of the session library needs when the server's answer arrives. The
// transaction that posts the step carries the record; the reply handler
// deletes it. The destructor releases an exchange still held and overwrites
// the password and the authorization code.
class SEPRegistrationData {
 public:
  SEPRegistrationData(int newProfile, const char* password, const char* profilePath,
                      const char* authorizationCode, Velgrade& engine, EnrollmentCompletion completion,
                      int reference, void* context);
  SEPRegistrationData(const SEPRegistrationData&) = delete;
  SEPRegistrationData& operator=(const SEPRegistrationData&) = delete;
  virtual ~SEPRegistrationData();

  virtual const char* GetRuntimeClassName() const { return "SEPRegistrationData"; }

  int newProfile;
  GString password;
  GString profilePath;
  GString authorizationCode;
  Velgrade& engine;  // outlives the record
  EnrollmentCompletion completion;
  // The library's exchange handle; 0 when none is held.
  OM_uint32 exchange = 0;
  int reference;
  void* context;  // the caller's, passed to completion
};
