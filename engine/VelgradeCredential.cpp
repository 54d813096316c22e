// The engine's side of the credential life: releasing what sign-on acquired.
#include <ctime>

#include "engine/Velgrade.h"
#include "platform/DynamicLibrary.h"

bool Velgrade::EnsureSignedOn() {
  if (HasCredential()) return true;
  if (credentialHooks_.ensureSignedOn == nullptr) return false;
  return credentialHooks_.ensureSignedOn(*this);
}

gss_cred_id_t& Velgrade::TouchCredential() {
  lastActivity_ = time(nullptr);
  return credential_.credential;
}

void Velgrade::SignOff(int shutdown, Transaction* keep) {
  Log(kLogCredentials, "Signing off from Corvask, ShutdownFlag=%d...\n", shutdown);
  if (shutdown) {
    DeleteTransactionsExcept(nullptr);
  } else {
    DeleteSecureTransactionsExcept(keep);
  }
  if (hooks_.purgeStaleContexts != nullptr) hooks_.purgeStaleContexts(0);
  if (credential_.credential != GSS_C_NO_CREDENTIAL || credential_.toolkitHandle != 0) {
    ReleaseCredential();
    Log(kLogCredentials, "Signed off from Corvask.\n");
  }
  lastActivity_ = 0;
  CriticalSectionLock guard(credential_.lock);
  credential_.shortName.Empty();
}

void Velgrade::ReleaseCredential() {
  if (credential_.credential != GSS_C_NO_CREDENTIAL) {
    OM_uint32 minor = 0;
    OM_uint32 major = gss_release_cred(&minor, &credential_.credential);
    if (major != GSS_S_COMPLETE) {
      Log(kLogCredentials, "Error releasing credentials: major=0x%lX, minor=0x%lX.\n",
          static_cast<unsigned long>(major), static_cast<unsigned long>(minor));
    }
    credential_.credential = GSS_C_NO_CREDENTIAL;
  }
  {
    CriticalSectionLock guard(credential_.lock);
    credential_.profileName.Empty();
    credential_.distinguishedName.Empty();
    credential_.distinguishedNameBase64.Empty();
  }
  if (credential_.toolkitModule != nullptr && credential_.toolkit.logout != nullptr &&
      credential_.toolkitHandle != 0) {
    credential_.toolkit.logout(credential_.toolkitHandle);
  }
  credential_.toolkitHandle = 0;
}

void Velgrade::FreeToolkit() {
  if (credential_.toolkitModule == nullptr) return;
  FreeLibrary(credential_.toolkitModule);
  credential_.toolkitModule = nullptr;
  credential_.toolkit = ToolkitEntryPoints{};
}
