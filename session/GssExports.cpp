// The GSS-API calls of the library.
#include <cstring>
#include <string>
#include <vector>

#include "session/ApiSupport.h"
#include "session/ContextTable.h"
#include "session/CvsApi.h"
#include "session/DistinguishedName.h"
#include "session/NameObject.h"
#include "session/StatusText.h"

using session::ApiSupport;
using session::ContextTable;
using session::Credential;
using session::GssContext;

namespace {

// SPKM-1, 1.3.6.1.5.5.1.1.
unsigned char mechSpkm1Bytes[] = {0x2b, 0x06, 0x01, 0x05, 0x05, 0x01, 0x01};
// Our own name types, under the UUID arc 2.25.
unsigned char userNameBytes[] = {0x69, 0xdd, 0xbf, 0xa4, 0xcf, 0x9a, 0xb9, 0xb2, 0x8e, 0xd9,
                                 0x9e, 0xb4, 0xf9, 0xc7, 0x87, 0xe8, 0xcf, 0xe2, 0x05};
unsigned char ldapDnBytes[] = {0x69, 0x82, 0xc3, 0xcd, 0x93, 0xed, 0xf7, 0xfd, 0x82, 0xbb,
                               0xa5, 0x8d, 0xcf, 0x8d, 0x86, 0xae, 0xdd, 0xed, 0x96, 0x3d};

gss_OID_desc mechSpkm1 = {sizeof mechSpkm1Bytes, mechSpkm1Bytes};
gss_OID_desc userName = {sizeof userNameBytes, userNameBytes};
gss_OID_desc ldapDn = {sizeof ldapDnBytes, ldapDnBytes};

uintptr_t HandleOf(gss_ctx_id_t context) { return reinterpret_cast<uintptr_t>(context); }
gss_ctx_id_t ContextOf(uintptr_t handle) { return reinterpret_cast<gss_ctx_id_t>(handle); }

OM_uint32 FillToken(const std::vector<uint8_t>& token, gss_buffer_t out, OM_uint32& minor) {
  if (token.empty()) return GSS_S_COMPLETE;
  if (!ApiSupport::FillBuffer(out, token.data(), token.size())) {
    session::InternalError::Record("Out of memory for a token");
    minor = CVS_MINOR_INTERNAL;
    return GSS_S_FAILURE;
  }
  return GSS_S_COMPLETE;
}

void ClearBuffer(gss_buffer_t buffer) {
  if (buffer == nullptr) return;
  buffer->length = 0;
  buffer->value = nullptr;
}

OM_uint32 EstablishedFlags(OM_uint32 major) {
  OM_uint32 flags = GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG | GSS_C_CONF_FLAG | GSS_C_INTEG_FLAG;
  return major == GSS_S_COMPLETE ? flags | GSS_C_PROT_READY_FLAG : flags;
}

// Runs the first step of a new context and stores it. A first step that
// fails leaves no context behind.
OM_uint32 FirstStep(const std::shared_ptr<GssContext>& context, const uint8_t* token, size_t length,
                    std::vector<uint8_t>& out, gss_ctx_id_t* handle, OM_uint32& minor) {
  OM_uint32 major = context->Step(token, length, out, minor);
  if (GSS_ERROR(major)) return major;
  uintptr_t stored = ContextTable::Instance().Add(context);
  if (stored == 0) {
    out.clear();
    minor = CVS_MINOR_REPLAYED_TOKEN;
    return GSS_S_FAILURE | GSS_S_DUPLICATE_TOKEN;
  }
  *handle = ContextOf(stored);
  return major;
}

// Runs the next step of the stored context behind handle, which must have
// the given role; context receives it.
OM_uint32 NextStep(gss_ctx_id_t handle, GssContext::Role role, const uint8_t* token, size_t length,
                   std::vector<uint8_t>& out, std::shared_ptr<GssContext>& context, OM_uint32& minor) {
  context = ContextTable::Instance().Find(HandleOf(handle));
  if (!context || context->GetRole() != role) {
    minor = CVS_MINOR_UNKNOWN_CONTEXT;
    return GSS_S_NO_CONTEXT;
  }
  return context->Step(token, length, out, minor);
}

}  // namespace

gss_OID gss_mech_spkm1 = &mechSpkm1;
gss_OID GSS_SPKM_NT_USER_NAME = &userName;
gss_OID gss_nt_ldap_dn = &ldapDn;

OM_uint32 gss_import_name(OM_uint32* minor_status, gss_buffer_t input_name_buffer,
                          gss_OID input_name_type, gss_name_t* output_name) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    const uint8_t* bytes = nullptr;
    size_t length = 0;
    if (output_name == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    *output_name = GSS_C_NO_NAME;
    if (!ApiSupport::ReadBuffer(input_name_buffer, bytes, length))
      return GSS_S_CALL_INACCESSIBLE_READ;
    auto name = std::make_unique<gss_name_struct>();
    std::string text(reinterpret_cast<const char*>(bytes), length);
    if (ApiSupport::SameOid(input_name_type, GSS_SPKM_NT_USER_NAME)) {
      name->kind = gss_name_struct::kProfilePath;
      name->text = text;
    } else if (input_name_type == GSS_C_NO_OID || ApiSupport::SameOid(input_name_type, gss_nt_ldap_dn)) {
      name->kind = gss_name_struct::kDistinguishedName;
      name->text = session::DistinguishedName::Normalize(text);
      if (name->text.empty()) {
        minor = CVS_MINOR_BAD_NAME;
        return GSS_S_BAD_NAME;
      }
    } else {
      return GSS_S_BAD_NAMETYPE;
    }
    *output_name = name.release();
    return GSS_S_COMPLETE;
  });
}

OM_uint32 gss_release_name(OM_uint32* minor_status, gss_name_t* name) {
  return ApiSupport::Run(minor_status, [&](OM_uint32&) -> OM_uint32 {
    if (name == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    delete *name;
    *name = GSS_C_NO_NAME;
    return GSS_S_COMPLETE;
  });
}

OM_uint32 gss_display_name(OM_uint32* minor_status, gss_name_t input_name,
                           gss_buffer_t output_name_buffer, gss_OID* output_name_type) {
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (input_name == GSS_C_NO_NAME) return GSS_S_BAD_NAME;
    if (output_name_buffer == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    if (!ApiSupport::FillBuffer(output_name_buffer, input_name->text.data(), input_name->text.size())) {
      session::InternalError::Record("Out of memory for a name");
      minor = CVS_MINOR_INTERNAL;
      return GSS_S_FAILURE;
    }
    if (output_name_type != nullptr)
      *output_name_type = input_name->kind == gss_name_struct::kProfilePath ? GSS_SPKM_NT_USER_NAME
                                                                           : gss_nt_ldap_dn;
    return GSS_S_COMPLETE;
  });
}

OM_uint32 gss_inquire_cred(OM_uint32* minor_status, gss_cred_id_t cred_handle, gss_name_t* name,
                           OM_uint32* lifetime, gss_cred_usage_t* cred_usage,
                           gss_OID_set* mechanisms) {
  return ApiSupport::Run(minor_status, [&](OM_uint32&) -> OM_uint32 {
    std::shared_ptr<Credential> credential =
        ApiSupport::Credentials().Find(reinterpret_cast<uintptr_t>(cred_handle));
    if (!credential) return GSS_S_NO_CRED;
    if (name != nullptr) {
      auto copy = std::make_unique<gss_name_struct>();
      copy->kind = gss_name_struct::kDistinguishedName;
      copy->text = credential->GetName();
      *name = copy.release();
    }
    if (lifetime != nullptr) *lifetime = credential->GetLifetime();
    if (cred_usage != nullptr) *cred_usage = credential->GetUsage();
    if (mechanisms != nullptr) *mechanisms = GSS_C_NO_OID_SET;
    return GSS_S_COMPLETE;
  });
}

OM_uint32 gss_release_cred(OM_uint32* minor_status, gss_cred_id_t* cred_handle) {
  return ApiSupport::Run(minor_status, [&](OM_uint32&) -> OM_uint32 {
    if (cred_handle == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    if (*cred_handle == GSS_C_NO_CREDENTIAL) return GSS_S_COMPLETE;
    bool found = ApiSupport::Credentials().Remove(reinterpret_cast<uintptr_t>(*cred_handle)) != nullptr;
    *cred_handle = GSS_C_NO_CREDENTIAL;
    return found ? GSS_S_COMPLETE : GSS_S_NO_CRED;
  });
}

OM_uint32 gss_init_sec_context(OM_uint32* minor_status, gss_cred_id_t initiator_cred_handle,
                               gss_ctx_id_t* context_handle, gss_name_t target_name,
                               gss_OID mech_type, OM_uint32 req_flags, OM_uint32 time_req,
                               gss_channel_bindings_t input_chan_bindings, gss_buffer_t input_token,
                               gss_OID* actual_mech_type, gss_buffer_t output_token,
                               OM_uint32* ret_flags, OM_uint32* time_rec) {
  ClearBuffer(output_token);
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (context_handle == nullptr || output_token == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    if (mech_type != GSS_C_NO_OID && !ApiSupport::SameOid(mech_type, gss_mech_spkm1))
      return GSS_S_BAD_MECH;
    if (input_chan_bindings != GSS_C_NO_CHANNEL_BINDINGS) return GSS_S_BAD_BINDINGS;
    const uint8_t* token = nullptr;
    size_t length = 0;
    if (input_token != GSS_C_NO_BUFFER && !ApiSupport::ReadBuffer(input_token, token, length))
      return GSS_S_CALL_INACCESSIBLE_READ;
    std::vector<uint8_t> out;
    OM_uint32 major;
    std::shared_ptr<GssContext> context;
    if (*context_handle == GSS_C_NO_CONTEXT) {
      if (target_name == GSS_C_NO_NAME || target_name->kind != gss_name_struct::kDistinguishedName) {
        minor = CVS_MINOR_BAD_NAME;
        return target_name == GSS_C_NO_NAME ? GSS_S_BAD_NAME : GSS_S_BAD_NAMETYPE;
      }
      std::shared_ptr<Credential> credential =
          ApiSupport::Credentials().Find(reinterpret_cast<uintptr_t>(initiator_cred_handle));
      if (!credential) return GSS_S_NO_CRED;
      session::X509NamePtr target = session::DistinguishedName::Parse(target_name->text);
      if (!target) {
        minor = CVS_MINOR_BAD_NAME;
        return GSS_S_BAD_NAME;
      }
      context = std::make_shared<GssContext>(GssContext::Role::kInitiator, credential, target.get());
      major = FirstStep(context, token, length, out, context_handle, minor);
    } else {
      major = NextStep(*context_handle, GssContext::Role::kInitiator, token, length, out, context, minor);
    }
    if (GSS_ERROR(major)) return major;
    OM_uint32 filled = FillToken(out, output_token, minor);
    if (filled != GSS_S_COMPLETE) return filled;
    if (actual_mech_type != nullptr) *actual_mech_type = gss_mech_spkm1;
    if (ret_flags != nullptr) *ret_flags = EstablishedFlags(major);
    if (time_rec != nullptr) *time_rec = context->GetLifetime();
    return major;
  });
}

OM_uint32 gss_accept_sec_context(OM_uint32* minor_status, gss_ctx_id_t* context_handle,
                                 gss_cred_id_t acceptor_cred_handle, gss_buffer_t input_token_buffer,
                                 gss_channel_bindings_t input_chan_bindings, gss_name_t* src_name,
                                 gss_OID* mech_type, gss_buffer_t output_token, OM_uint32* ret_flags,
                                 OM_uint32* time_rec, gss_cred_id_t* delegated_cred_handle) {
  ClearBuffer(output_token);
  if (src_name != nullptr) *src_name = GSS_C_NO_NAME;
  if (delegated_cred_handle != nullptr) *delegated_cred_handle = GSS_C_NO_CREDENTIAL;
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (context_handle == nullptr || output_token == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    if (input_chan_bindings != GSS_C_NO_CHANNEL_BINDINGS) return GSS_S_BAD_BINDINGS;
    const uint8_t* token = nullptr;
    size_t length = 0;
    if (!ApiSupport::ReadBuffer(input_token_buffer, token, length) || length == 0) {
      minor = CVS_MINOR_MALFORMED_TOKEN;
      return GSS_S_DEFECTIVE_TOKEN;
    }
    std::vector<uint8_t> out;
    OM_uint32 major;
    std::shared_ptr<GssContext> context;
    if (*context_handle == GSS_C_NO_CONTEXT) {
      std::shared_ptr<Credential> credential =
          ApiSupport::Credentials().Find(reinterpret_cast<uintptr_t>(acceptor_cred_handle));
      if (!credential) return GSS_S_NO_CRED;
      context = std::make_shared<GssContext>(GssContext::Role::kAcceptor, credential, nullptr);
      major = FirstStep(context, token, length, out, context_handle, minor);
    } else {
      major = NextStep(*context_handle, GssContext::Role::kAcceptor, token, length, out, context, minor);
    }
    if (GSS_ERROR(major)) return major;
    OM_uint32 filled = FillToken(out, output_token, minor);
    if (filled != GSS_S_COMPLETE) return filled;
    if (major == GSS_S_COMPLETE && src_name != nullptr) {
      auto peer = std::make_unique<gss_name_struct>();
      peer->kind = gss_name_struct::kDistinguishedName;
      peer->text = context->GetPeerName();
      *src_name = peer.release();
    }
    if (mech_type != nullptr) *mech_type = gss_mech_spkm1;
    if (ret_flags != nullptr) *ret_flags = EstablishedFlags(major);
    if (time_rec != nullptr) *time_rec = context->GetLifetime();
    return major;
  });
}

OM_uint32 gss_delete_sec_context(OM_uint32* minor_status, gss_ctx_id_t* context_handle,
                                 gss_buffer_t output_token) {
  ClearBuffer(output_token);
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (context_handle == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    bool found = ContextTable::Instance().Remove(HandleOf(*context_handle)) != nullptr;
    *context_handle = GSS_C_NO_CONTEXT;
    if (found) return GSS_S_COMPLETE;
    minor = CVS_MINOR_UNKNOWN_CONTEXT;
    return GSS_S_NO_CONTEXT;
  });
}

OM_uint32 gss_wrap(OM_uint32* minor_status, gss_ctx_id_t context_handle, int conf_req_flag,
                   gss_qop_t qop_req, gss_buffer_t input_message_buffer, int* conf_state,
                   gss_buffer_t output_message_buffer) {
  ClearBuffer(output_message_buffer);
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    const uint8_t* message = nullptr;
    size_t length = 0;
    if (output_message_buffer == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    if (!ApiSupport::ReadBuffer(input_message_buffer, message, length))
      return GSS_S_CALL_INACCESSIBLE_READ;
    std::shared_ptr<GssContext> context = ContextTable::Instance().Find(HandleOf(context_handle));
    if (!context) {
      minor = CVS_MINOR_UNKNOWN_CONTEXT;
      return GSS_S_NO_CONTEXT;
    }
    // Every protection level is served by AES-256-GCM: qop_req only
    // expresses a wish for a minimum, which that always meets.
    return context->Wrap(conf_req_flag != 0, message, length, output_message_buffer, conf_state,
                         minor);
  });
}

OM_uint32 gss_unwrap(OM_uint32* minor_status, gss_ctx_id_t context_handle,
                     gss_buffer_t input_message_buffer, gss_buffer_t output_message_buffer,
                     int* conf_state, gss_qop_t* qop_state) {
  ClearBuffer(output_message_buffer);
  if (conf_state != nullptr) *conf_state = 0;
  if (qop_state != nullptr) *qop_state = 0;
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    const uint8_t* token = nullptr;
    size_t length = 0;
    if (output_message_buffer == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    if (!ApiSupport::ReadBuffer(input_message_buffer, token, length))
      return GSS_S_CALL_INACCESSIBLE_READ;
    std::shared_ptr<GssContext> context = ContextTable::Instance().Find(HandleOf(context_handle));
    if (!context) {
      minor = CVS_MINOR_UNKNOWN_CONTEXT;
      return GSS_S_NO_CONTEXT;
    }
    return context->Unwrap(token, length, output_message_buffer, conf_state, qop_state, minor);
  });
}

OM_uint32 gss_display_status(OM_uint32* minor_status, OM_uint32 status_value, int status_type,
                             gss_OID mech_type, OM_uint32* message_context,
                             gss_buffer_t status_string) {
  ClearBuffer(status_string);
  return ApiSupport::Run(minor_status, [&](OM_uint32& minor) -> OM_uint32 {
    if (message_context == nullptr || status_string == nullptr) return GSS_S_CALL_INACCESSIBLE_WRITE;
    if (mech_type != GSS_C_NO_OID && !ApiSupport::SameOid(mech_type, gss_mech_spkm1))
      return GSS_S_BAD_MECH;
    std::vector<std::string> pieces;
    if (status_type == GSS_C_GSS_CODE) {
      pieces = session::StatusText::DescribeMajor(status_value);
    } else if (status_type == GSS_C_MECH_CODE) {
      std::string text = session::StatusText::DescribeMinor(status_value);
      if (!text.empty()) pieces.push_back(text);
    }
    if (pieces.empty() || *message_context >= pieces.size()) return GSS_S_BAD_STATUS;
    const std::string& piece = pieces[*message_context];
    if (!ApiSupport::FillBuffer(status_string, piece.data(), piece.size())) {
      minor = CVS_MINOR_INTERNAL;
      return GSS_S_FAILURE;
    }
    *message_context = *message_context + 1 < pieces.size() ? *message_context + 1 : 0;
    return GSS_S_COMPLETE;
  });
}

OM_uint32 gss_release_buffer(OM_uint32* minor_status, gss_buffer_t buffer) {
  return ApiSupport::Run(minor_status, [&](OM_uint32&) -> OM_uint32 {
    ApiSupport::ReleaseBuffer(buffer);
    return GSS_S_COMPLETE;
  });
}
