// The library's own calls: configuration, profiles, tokens, status details.
#include <ctime>
#include <string>
#include <vector>

#include "session/ApiSupport.h"
#include "session/ContextTable.h"
#include "session/CvsApi.h"
#include "session/NameObject.h"
#include "session/ProfileStore.h"
#include "session/SessionSettings.h"
#include "session/TokenFormat.h"

using session::ApiSupport;
using session::ContextTable;
using session::Credential;
using session::GssContext;
using session::ProfileStore;

namespace {

// The minor status of a profile operation that failed.
OM_uint32 MinorOf(ProfileStore::Result result) {
  switch (result) {
    case ProfileStore::Result::kDone:
      return 0;
    case ProfileStore::Result::kUnreadable:
      return CVS_MINOR_PROFILE_UNREADABLE;
    case ProfileStore::Result::kDamaged:
      return CVS_MINOR_PROFILE_DAMAGED;
    case ProfileStore::Result::kWrongPassword:
      return CVS_MINOR_WRONG_PASSWORD;
    case ProfileStore::Result::kRefused:
      return CVS_MINOR_PASSWORD_REFUSED;
    case ProfileStore::Result::kWriteFailed:
      return CVS_MINOR_PROFILE_WRITE;
  }
  return CVS_MINOR_INTERNAL;
}

bool IsValidNow(const Credential& credential) {
  time_t now = time(nullptr);
  return now >= credential.GetNotBefore() && now < credential.GetNotAfter();
}

OM_uint32 OpenProfile(const std::string& path, const uint8_t* password, size_t passwordLength,
                      int usage, std::shared_ptr<Credential>& out, OM_uint32& minor) {
  session::Profile profile;
  ProfileStore::Result loaded = ProfileStore::Load(path.c_str(), profile);
  if (loaded != ProfileStore::Result::kDone) {
    minor = MinorOf(loaded);
    return GSS_S_FAILURE;
  }
  session::EvpPkeyPtr key;
  switch (profile.Unlock(password, passwordLength, key)) {
    case session::UnlockResult::kOpened:
      break;
    case session::UnlockResult::kWrongPassword:
      minor = CVS_MINOR_WRONG_PASSWORD;
      return GSS_S_FAILURE;
    case session::UnlockResult::kDamaged:
      minor = CVS_MINOR_PROFILE_DAMAGED;
      return GSS_S_FAILURE;
  }
  out = Credential::Create(key.get(), profile.GetCertificate(), profile.GetAuthority(), usage, path);
  if (!out) {
    minor = CVS_MINOR_INTERNAL;
    return GSS_S_FAILURE;
  }
  if (!IsValidNow(*out)) {
    out.reset();
    minor = CVS_MINOR_CREDENTIAL_EXPIRED;
    return GSS_S_CREDENTIALS_EXPIRED;
  }
  return GSS_S_COMPLETE;
}

}  // namespace

OM_uint32 cvs_set_inifile(OM_uint32* minor_status, const char* path) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (path == nullptr || *path == 0) {
      minor = CVS_MINOR_BAD_ARGUMENT;
      return GSS_S_FAILURE;
    }
    session::SessionSettings::Instance().SetIniFile(path);
    return GSS_S_COMPLETE;
  });
}

OM_uint32 cvs_acquire_cred(OM_uint32* minor_status, gss_name_t desired_name, OM_uint32 time_req,
                           gss_OID_set desired_mechs, gss_cred_usage_t cred_usage,
                           gss_cred_id_t* output_cred_handle, gss_buffer_t password) {
  if (output_cred_handle != nullptr) *output_cred_handle = GSS_C_NO_CREDENTIAL;
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (output_cred_handle == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    if (cred_usage != GSS_C_BOTH && cred_usage != GSS_C_INITIATE && cred_usage != GSS_C_ACCEPT) {
      minor = CVS_MINOR_BAD_ARGUMENT;
      return GSS_S_FAILURE;
    }
    if (desired_name == GSS_C_NO_NAME || desired_name->kind != gss_name_struct::kProfilePath ||
        desired_name->text.empty()) {
      minor = CVS_MINOR_NO_PROFILE;
      return GSS_S_NO_CRED;
    }
    const uint8_t* secret = nullptr;
    size_t secretLength = 0;
    if (password == GSS_C_NO_BUFFER || !ApiSupport::ReadBuffer(password, secret, secretLength) ||
        secretLength == 0) {
      minor = CVS_MINOR_WRONG_PASSWORD;
      return GSS_S_FAILURE;
    }
    std::shared_ptr<Credential> credential;
    OM_uint32 major = OpenProfile(desired_name->text, secret, secretLength, cred_usage, credential, minor);
    if (major != GSS_S_COMPLETE) return major;
    *output_cred_handle = reinterpret_cast<gss_cred_id_t>(ApiSupport::Credentials().Add(credential));
    if (session::SessionSettings::Instance().CheckDirectory() ==
        session::SessionSettings::Directory::kUnreachable) {
      minor = CVS_MINOR_DIRECTORY_UNREACHABLE;
      return GSS_S_FAILURE;
    }
    return GSS_S_COMPLETE;
  });
}

OM_uint32 cvs_query_profile_name(OM_uint32* minor_status, gss_cred_id_t cred_handle,
                                 gss_buffer_t profile_name) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (profile_name == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    std::shared_ptr<Credential> credential =
        ApiSupport::Credentials().Find(reinterpret_cast<uintptr_t>(cred_handle));
    if (!credential) return GSS_S_NO_CRED;
    const std::string& path = credential->GetProfilePath();
    if (!ApiSupport::FillBuffer(profile_name, path.data(), path.size())) {
      minor = CVS_MINOR_INTERNAL;
      return GSS_S_FAILURE;
    }
    return GSS_S_COMPLETE;
  });
}

OM_uint32 cvs_profile_changed(OM_uint32* minor_status, gss_cred_id_t cred_handle, int* changed) {
  return ApiSupport::Run(minor_status, [&](OM_uint32&) -> OM_uint32 {
    if (changed == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    std::shared_ptr<Credential> credential =
        ApiSupport::Credentials().Find(reinterpret_cast<uintptr_t>(cred_handle));
    if (!credential) return GSS_S_NO_CRED;
    *changed = credential->IsProfileChanged() ? 1 : 0;
    return GSS_S_COMPLETE;
  });
}

OM_uint32 cvs_change_password(OM_uint32* minor_status, gss_cred_id_t cred_handle,
                              gss_buffer_t old_password, gss_buffer_t new_password) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    std::shared_ptr<Credential> credential =
        ApiSupport::Credentials().Find(reinterpret_cast<uintptr_t>(cred_handle));
    if (!credential) return GSS_S_NO_CRED;
    const uint8_t* oldBytes = nullptr;
    const uint8_t* newBytes = nullptr;
    size_t oldLength = 0;
    size_t newLength = 0;
    if (!ApiSupport::ReadBuffer(old_password, oldBytes, oldLength) ||
        !ApiSupport::ReadBuffer(new_password, newBytes, newLength)) {
      minor = CVS_MINOR_BAD_ARGUMENT;
      return GSS_S_FAILURE;
    }
    ProfileStore::Result result =
        ProfileStore::ChangePassword(credential->GetProfilePath().c_str(), oldBytes, oldLength,
                                     newBytes, newLength, session::KdfCost::Default());
    if (result != ProfileStore::Result::kDone) {
      minor = MinorOf(result);
      return GSS_S_FAILURE;
    }
    credential->MarkProfileChanged();
    return GSS_S_COMPLETE;
  });
}

OM_uint32 cvs_token_removed(OM_uint32* minor_status, gss_cred_id_t cred_handle, int* removed) {
  return ApiSupport::Run(minor_status, [&](OM_uint32&) -> OM_uint32 {
    if (removed == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    *removed = 1;
    return GSS_S_COMPLETE;
  });
}

OM_uint32 cvs_get_num_token_profiles(OM_uint32* minor_status, int* count) {
  return ApiSupport::Run(minor_status, [&](OM_uint32&) -> OM_uint32 {
    if (count == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    *count = 0;
    return GSS_S_COMPLETE;
  });
}

OM_uint32 cvs_get_token_profile_name(OM_uint32* minor_status, int index, gss_buffer_t profile_name) {
  if (profile_name != nullptr) {
    profile_name->length = 0;
    profile_name->value = nullptr;
  }
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    minor = CVS_MINOR_NO_TOKEN;
    return GSS_S_FAILURE;
  });
}

OM_uint32 cvs_display_internal_error(OM_uint32* minor_status, OM_uint32* message_context,
                                     gss_buffer_t status_string) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (message_context == nullptr || status_string == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    static const std::string kNone = "No internal error has been recorded";
    const std::vector<std::string>& lines = session::InternalError::Lines();
    size_t index = *message_context;
    const std::string& line = lines.empty() ? kNone : index < lines.size() ? lines[index] : kNone;
    if (!ApiSupport::FillBuffer(status_string, line.data(), line.size())) {
      minor = CVS_MINOR_INTERNAL;
      return GSS_S_FAILURE;
    }
    *message_context = index + 1 < lines.size() ? static_cast<OM_uint32>(index + 1) : 0;
    return GSS_S_COMPLETE;
  });
}

OM_uint32 cvs_export_peer_certificate(OM_uint32* minor_status, gss_ctx_id_t context_handle,
                                      gss_buffer_t certificate) {
  if (certificate != nullptr) {
    certificate->length = 0;
    certificate->value = nullptr;
  }
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (certificate == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    std::shared_ptr<GssContext> context =
        ContextTable::Instance().Find(reinterpret_cast<uintptr_t>(context_handle));
    if (!context || !context->IsEstablished()) {
      minor = CVS_MINOR_UNKNOWN_CONTEXT;
      return GSS_S_NO_CONTEXT;
    }
    std::vector<uint8_t> der = context->GetPeerCertificate();
    if (der.empty() || !ApiSupport::FillBuffer(certificate, der.data(), der.size())) {
      minor = CVS_MINOR_INTERNAL;
      return GSS_S_FAILURE;
    }
    return GSS_S_COMPLETE;
  });
}

OM_uint32 spkm_parse_token(OM_uint32* minor_status, gss_buffer_t token, int* token_type,
                           gss_ctx_id_t* context_handle) {
  if (context_handle != nullptr) *context_handle = GSS_C_NO_CONTEXT;
  if (token_type != nullptr) *token_type = 0;
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    if (!ApiSupport::ReadBuffer(token, bytes, length)) return GSS_S_CALL_INACCESSIBLE_READ;
    session::TokenFormat::Header header;
    if (!session::TokenFormat::ParseHeader(bytes, length, header)) {
      minor = CVS_MINOR_MALFORMED_TOKEN;
      return GSS_S_DEFECTIVE_TOKEN;
    }
    if (token_type != nullptr) *token_type = header.type;
    // A token is meant for the other side than the one that sent it.
    GssContext::Role receiver = (header.flags & session::TokenFormat::kFromInitiator) != 0
                                    ? GssContext::Role::kAcceptor
                                    : GssContext::Role::kInitiator;
    std::string id(reinterpret_cast<const char*>(header.contextId), sizeof header.contextId);
    uintptr_t handle = ContextTable::Instance().FindById(id, receiver);
    if (handle == 0) {
      minor = CVS_MINOR_UNKNOWN_CONTEXT;
      return GSS_S_NO_CONTEXT;
    }
    if (context_handle != nullptr) *context_handle = reinterpret_cast<gss_ctx_id_t>(handle);
    return GSS_S_COMPLETE;
  });
}
