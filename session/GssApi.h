#pragma once

// The GSS-API (version 2, C bindings) as this library offers it: the types,
// status codes and calls that its callers use, declared here for ourselves.
// Every call returns a major status (0 = complete) and writes a mechanism
// status (the minor status, see session/CvsApi.h) through its first argument.
// Buffers the library fills are allocated by it and freed with
// gss_release_buffer.

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define CVS_EXPORT __attribute__((visibility("default")))
#else
#define CVS_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t OM_uint32;

// Opaque handles. A context or credential handle is a number the library
// looks up in its own tables, so a stale or foreign handle is reported as
// such instead of being followed.
typedef struct gss_name_struct* gss_name_t;
typedef struct gss_cred_id_struct* gss_cred_id_t;
typedef struct gss_ctx_id_struct* gss_ctx_id_t;
typedef struct gss_channel_bindings_struct* gss_channel_bindings_t;

typedef struct gss_OID_desc_struct {
  OM_uint32 length;
  void* elements;
} gss_OID_desc, *gss_OID;

typedef struct gss_OID_set_desc_struct {
  size_t count;
  gss_OID elements;
} gss_OID_set_desc, *gss_OID_set;

typedef struct gss_buffer_desc_struct {
  size_t length;
  void* value;
} gss_buffer_desc, *gss_buffer_t;

typedef OM_uint32 gss_qop_t;
typedef int gss_cred_usage_t;

#define GSS_C_NO_NAME ((gss_name_t)0)
#define GSS_C_NO_CREDENTIAL ((gss_cred_id_t)0)
#define GSS_C_NO_CONTEXT ((gss_ctx_id_t)0)
#define GSS_C_NO_BUFFER ((gss_buffer_t)0)
#define GSS_C_NO_OID ((gss_OID)0)
#define GSS_C_NO_OID_SET ((gss_OID_set)0)
#define GSS_C_NO_CHANNEL_BINDINGS ((gss_channel_bindings_t)0)
#define GSS_C_EMPTY_BUFFER {0, 0}
#define GSS_C_INDEFINITE 0xFFFFFFFFu
#define GSS_C_QOP_DEFAULT 0

// Credential usage.
#define GSS_C_BOTH 0
#define GSS_C_INITIATE 1
#define GSS_C_ACCEPT 2

// Context flags.
#define GSS_C_DELEG_FLAG 1u
#define GSS_C_MUTUAL_FLAG 2u
#define GSS_C_REPLAY_FLAG 4u
#define GSS_C_SEQUENCE_FLAG 8u
#define GSS_C_CONF_FLAG 16u
#define GSS_C_INTEG_FLAG 32u
#define GSS_C_ANON_FLAG 64u
#define GSS_C_PROT_READY_FLAG 128u
#define GSS_C_TRANS_FLAG 256u

// Status types for gss_display_status.
#define GSS_C_GSS_CODE 1
#define GSS_C_MECH_CODE 2

// Major status: calling errors (bits 24-31), routine errors (bits 16-23) and
// supplementary information (bits 0-15).
#define GSS_S_COMPLETE 0u
#define GSS_C_CALLING_ERROR_OFFSET 24
#define GSS_C_ROUTINE_ERROR_OFFSET 16
#define GSS_C_CALLING_ERROR_MASK 0xFF000000u
#define GSS_C_ROUTINE_ERROR_MASK 0x00FF0000u
#define GSS_C_SUPPLEMENTARY_MASK 0x0000FFFFu
#define GSS_CALLING_ERROR(x) ((x) & GSS_C_CALLING_ERROR_MASK)
#define GSS_ROUTINE_ERROR(x) ((x) & GSS_C_ROUTINE_ERROR_MASK)
#define GSS_ERROR(x) ((x) & (GSS_C_CALLING_ERROR_MASK | GSS_C_ROUTINE_ERROR_MASK))

#define GSS_S_CALL_INACCESSIBLE_READ (1u << GSS_C_CALLING_ERROR_OFFSET)
#define GSS_S_CALL_INACCESSIBLE_WRITE (2u << GSS_C_CALLING_ERROR_OFFSET)
#define GSS_S_CALL_BAD_STRUCTURE (3u << GSS_C_CALLING_ERROR_OFFSET)

#define GSS_S_BAD_MECH (1u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_BAD_NAME (2u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_BAD_NAMETYPE (3u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_BAD_BINDINGS (4u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_BAD_STATUS (5u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_BAD_SIG (6u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_BAD_MIC GSS_S_BAD_SIG
#define GSS_S_NO_CRED (7u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_NO_CONTEXT (8u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_DEFECTIVE_TOKEN (9u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_DEFECTIVE_CREDENTIAL (10u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_CREDENTIALS_EXPIRED (11u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_CONTEXT_EXPIRED (12u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_FAILURE (13u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_BAD_QOP (14u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_UNAUTHORIZED (15u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_UNAVAILABLE (16u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_DUPLICATE_ELEMENT (17u << GSS_C_ROUTINE_ERROR_OFFSET)
#define GSS_S_NAME_NOT_MN (18u << GSS_C_ROUTINE_ERROR_OFFSET)

#define GSS_S_CONTINUE_NEEDED (1u << 0)
#define GSS_S_DUPLICATE_TOKEN (1u << 1)
#define GSS_S_OLD_TOKEN (1u << 2)
#define GSS_S_UNSEQ_TOKEN (1u << 3)
#define GSS_S_GAP_TOKEN (1u << 4)

// The mechanism and the two name types callers use: a profile file path
// (GSS_SPKM_NT_USER_NAME) and a distinguished name written most specific
// part first, "cn=Server One,o=Example" (gss_nt_ldap_dn).
CVS_EXPORT extern gss_OID gss_mech_spkm1;
CVS_EXPORT extern gss_OID GSS_SPKM_NT_USER_NAME;
CVS_EXPORT extern gss_OID gss_nt_ldap_dn;

CVS_EXPORT OM_uint32 gss_import_name(OM_uint32* minor_status, gss_buffer_t input_name_buffer,
                                     gss_OID input_name_type, gss_name_t* output_name);
CVS_EXPORT OM_uint32 gss_release_name(OM_uint32* minor_status, gss_name_t* name);
CVS_EXPORT OM_uint32 gss_display_name(OM_uint32* minor_status, gss_name_t input_name,
                                      gss_buffer_t output_name_buffer, gss_OID* output_name_type);

CVS_EXPORT OM_uint32 gss_inquire_cred(OM_uint32* minor_status, gss_cred_id_t cred_handle,
                                      gss_name_t* name, OM_uint32* lifetime,
                                      gss_cred_usage_t* cred_usage, gss_OID_set* mechanisms);
CVS_EXPORT OM_uint32 gss_release_cred(OM_uint32* minor_status, gss_cred_id_t* cred_handle);

CVS_EXPORT OM_uint32 gss_init_sec_context(
    OM_uint32* minor_status, gss_cred_id_t initiator_cred_handle, gss_ctx_id_t* context_handle,
    gss_name_t target_name, gss_OID mech_type, OM_uint32 req_flags, OM_uint32 time_req,
    gss_channel_bindings_t input_chan_bindings, gss_buffer_t input_token, gss_OID* actual_mech_type,
    gss_buffer_t output_token, OM_uint32* ret_flags, OM_uint32* time_rec);

CVS_EXPORT OM_uint32 gss_accept_sec_context(
    OM_uint32* minor_status, gss_ctx_id_t* context_handle, gss_cred_id_t acceptor_cred_handle,
    gss_buffer_t input_token_buffer, gss_channel_bindings_t input_chan_bindings,
    gss_name_t* src_name, gss_OID* mech_type, gss_buffer_t output_token, OM_uint32* ret_flags,
    OM_uint32* time_rec, gss_cred_id_t* delegated_cred_handle);

CVS_EXPORT OM_uint32 gss_delete_sec_context(OM_uint32* minor_status, gss_ctx_id_t* context_handle,
                                            gss_buffer_t output_token);

CVS_EXPORT OM_uint32 gss_wrap(OM_uint32* minor_status, gss_ctx_id_t context_handle,
                              int conf_req_flag, gss_qop_t qop_req,
                              gss_buffer_t input_message_buffer, int* conf_state,
                              gss_buffer_t output_message_buffer);
CVS_EXPORT OM_uint32 gss_unwrap(OM_uint32* minor_status, gss_ctx_id_t context_handle,
                                gss_buffer_t input_message_buffer,
                                gss_buffer_t output_message_buffer, int* conf_state,
                                gss_qop_t* qop_state);

CVS_EXPORT OM_uint32 gss_display_status(OM_uint32* minor_status, OM_uint32 status_value,
                                        int status_type, gss_OID mech_type,
                                        OM_uint32* message_context, gss_buffer_t status_string);
CVS_EXPORT OM_uint32 gss_release_buffer(OM_uint32* minor_status, gss_buffer_t buffer);

#ifdef __cplusplus
}
#endif
