#include "credentials/SEPRegistrationData.h"

#include "session/CvsApi.h"

SEPRegistrationData::SEPRegistrationData(int newProfile, const char* password, const char* profilePath,
                                         const char* authorizationCode, Velgrade& engine,
                                         EnrollmentCompletion completion, int reference, void* context)
    : newProfile(newProfile),
      password(password),
      profilePath(profilePath),
      authorizationCode(authorizationCode),
      engine(engine),
      completion(completion),
      reference(reference),
      context(context) {}

SEPRegistrationData::~SEPRegistrationData() {
  OM_uint32 minor = 0;
  if (exchange != 0) cvs_release_proxy_create(&minor, &exchange);
  password.Wipe();
  authorizationCode.Wipe();
}
