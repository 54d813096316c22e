// The library's enrollment calls: the direct route and the route carried by
// the caller one token a step.
#include <openssl/crypto.h>

#include <string>

#include "session/ApiSupport.h"
#include "session/CvsApi.h"
#include "session/Enrollment.h"
#include "session/EnrollmentClient.h"
#include "session/HandleTable.h"
#include "session/SessionSettings.h"

using session::ApiSupport;
using session::Enrollment;

namespace {

session::HandleTable<Enrollment>& Exchanges() {
  static session::HandleTable<Enrollment> table(0x60000000);
  return table;
}

bool HasText(const char* text) { return text != nullptr && *text != 0; }

OM_uint32 StartEnrollment(int reference, const char* authorizationCode, const char* profilePath,
                          int newProfile, std::shared_ptr<Enrollment>& out, OM_uint32& minor) {
  if (!HasText(authorizationCode) || !HasText(profilePath)) {
    minor = CVS_MINOR_BAD_ARGUMENT;
    return GSS_S_CALL_INACCESSIBLE_READ;
  }
  out = Enrollment::Begin(reference, authorizationCode, profilePath, newProfile, minor);
  return out ? GSS_S_COMPLETE : GSS_S_FAILURE;
}

}  // namespace

OM_uint32 cvs_create_user(OM_uint32* minor_status, int reference_number, const char* authorization_code,
                          const char* password, const char* profile_path, int new_profile) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (!Enrollment::IsPasswordAcceptable(password)) {
      minor = CVS_MINOR_PASSWORD_REFUSED;
      return GSS_S_FAILURE;
    }
    std::string server;
    if (!session::SessionSettings::Instance().GetEnrollmentServer(server)) {
      minor = CVS_MINOR_NOT_CONFIGURED;
      return GSS_S_FAILURE;
    }
    std::shared_ptr<Enrollment> enrollment;
    OM_uint32 major = StartEnrollment(reference_number, authorization_code, profile_path, new_profile,
                                      enrollment, minor);
    if (major != GSS_S_COMPLETE) return major;
    std::string reply;
    if (!session::EnrollmentClient::Exchange(server, enrollment->GetRequestMessage(), reply, minor))
      return GSS_S_FAILURE;
    return enrollment->Finish(reply, password, minor);
  });
}

OM_uint32 cvs_init_proxy_create(OM_uint32* minor_status, int reference_number, const char* authorization_code,
                                const char* password, const char* profile_path, int new_profile,
                                OM_uint32* exchange, gss_buffer_t input_token, gss_buffer_t output_token) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (exchange == nullptr || output_token == nullptr) {
      minor = CVS_MINOR_BAD_ARGUMENT;
      return GSS_S_CALL_INACCESSIBLE_WRITE;
    }
    output_token->length = 0;
    output_token->value = nullptr;
    const uint8_t* input = nullptr;
    size_t inputLength = 0;
    bool hasInput = ApiSupport::ReadBuffer(input_token, input, inputLength) && inputLength != 0;
    if (*exchange == 0) {
      if (hasInput) {
        minor = CVS_MINOR_UNKNOWN_CONTEXT;
        return GSS_S_NO_CONTEXT;
      }
      std::shared_ptr<Enrollment> enrollment;
      OM_uint32 major = StartEnrollment(reference_number, authorization_code, profile_path, new_profile,
                                        enrollment, minor);
      if (major != GSS_S_COMPLETE) return major;
      const std::string& message = enrollment->GetRequestMessage();
      if (!ApiSupport::FillBuffer(output_token, message.data(), message.size())) {
        minor = CVS_MINOR_INTERNAL;
        return GSS_S_FAILURE;
      }
      *exchange = static_cast<OM_uint32>(Exchanges().Add(std::move(enrollment)));
      return GSS_S_CONTINUE_NEEDED;
    }
    std::shared_ptr<Enrollment> enrollment = Exchanges().Find(*exchange);
    if (!enrollment) {
      minor = CVS_MINOR_UNKNOWN_CONTEXT;
      return GSS_S_NO_CONTEXT;
    }
    if (!hasInput) {
      minor = CVS_MINOR_NO_TOKEN;
      return GSS_S_DEFECTIVE_TOKEN;
    }
    return enrollment->Finish(std::string_view(reinterpret_cast<const char*>(input), inputLength), password,
                              minor);
  });
}

OM_uint32 cvs_release_proxy_create(OM_uint32* minor_status, OM_uint32* exchange) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (exchange == nullptr) {
      minor = CVS_MINOR_BAD_ARGUMENT;
      return GSS_S_CALL_INACCESSIBLE_READ;
    }
    std::shared_ptr<Enrollment> removed = Exchanges().Remove(*exchange);
    *exchange = 0;
    if (!removed) {
      minor = CVS_MINOR_UNKNOWN_CONTEXT;
      return GSS_S_NO_CONTEXT;
    }
    return GSS_S_COMPLETE;
  });
}
