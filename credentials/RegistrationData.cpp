#include "credentials/RegistrationData.h"

RegistrationData::RegistrationData(int newProfile, const char* password, const char* profilePath,
                                   std::unique_ptr<CliDecryptor> decryptor, Velgrade& engine,
                                   EnrollmentCompletion completion, void* context)
    : newProfile(newProfile),
      password(password),
      profilePath(profilePath),
      decryptor(std::move(decryptor)),
      engine(engine),
      completion(completion),
      context(context) {}

RegistrationData::~RegistrationData() { password.Wipe(); }
