#pragma once

// The library's own calls beside the GSS-API: configuration, profiles,
// hardware tokens, status details and token inspection. Same conventions as
// session/GssApi.h: a major status result, the minor status through the first
// argument, filled buffers freed with gss_release_buffer.

#include "session/GssApi.h"

#ifdef __cplusplus
extern "C" {
#endif

// Minor statuses (mechanism codes) the library reports.
#define CVS_MINOR_MALFORMED_TOKEN 1u
#define CVS_MINOR_TOKEN_TYPE 2u
#define CVS_MINOR_UNKNOWN_CONTEXT 3u
#define CVS_MINOR_REPLAYED_TOKEN 4u
#define CVS_MINOR_OLD_TOKEN 5u
#define CVS_MINOR_INTEGRITY 6u
#define CVS_MINOR_PEER_NOT_TRUSTED 7u
#define CVS_MINOR_TARGET_MISMATCH 8u
#define CVS_MINOR_WRONG_PASSWORD 9u
#define CVS_MINOR_PROFILE_UNREADABLE 10u
#define CVS_MINOR_PROFILE_DAMAGED 11u
#define CVS_MINOR_CREDENTIAL_EXPIRED 12u
#define CVS_MINOR_HANDSHAKE 13u
#define CVS_MINOR_INTERNAL 14u
#define CVS_MINOR_NOT_ESTABLISHED 15u
#define CVS_MINOR_BAD_NAME 16u
#define CVS_MINOR_NO_TOKEN 17u
#define CVS_MINOR_PEER_EXPIRED 18u
#define CVS_MINOR_WRONG_USAGE 19u
#define CVS_MINOR_BAD_ARGUMENT 20u
#define CVS_MINOR_PROFILE_WRITE 21u
#define CVS_MINOR_NO_PROFILE 22u
#define CVS_MINOR_TOO_LARGE 23u
#define CVS_MINOR_SEQUENCE_EXHAUSTED 24u
#define CVS_MINOR_NOT_CONFIGURED 25u
#define CVS_MINOR_PASSWORD_REFUSED 40u
#define CVS_MINOR_DIRECTORY_UNREACHABLE 41u
#define CVS_MINOR_ENROLLMENT_REFUSED 42u
#define CVS_MINOR_ENROLLMENT_UNREACHABLE 43u

// Token types, as spkm_parse_token reports them.
#define CVS_TOKEN_INIT 1
#define CVS_TOKEN_ACCEPT 2
#define CVS_TOKEN_ERROR 3
#define CVS_TOKEN_WRAP 5

// Reported by gss_unwrap in qop_state when the message's integrity was
// verified (always, for a message it returns).
#define CVS_QOP_INTEGRITY_APPLIED 0x1000u

// Names the configuration file (corvask.ini) the library reads its settings
// from: section "Corvask Settings", key DirectoryServer ("host:port" of the
// organisation's directory; none configured by default). 0 = ready.
CVS_EXPORT OM_uint32 cvs_set_inifile(OM_uint32* minor_status, const char* path);

// Opens the profile named by desired_name (a GSS_SPKM_NT_USER_NAME: the
// profile file's path) with the password and returns a credential for the
// usage asked (GSS_C_INITIATE for a client, GSS_C_ACCEPT for a server,
// GSS_C_BOTH). time_req and desired_mechs are not used. A null or empty
// password buffer opens nothing: without a hardware token there is no open
// log-in to take over.
// Results: wrong password -> GSS_S_FAILURE with minor 9; a configured
// directory that cannot be reached -> GSS_S_FAILURE with minor 41, and the
// credential is returned all the same (the caller decides whether to use it,
// and releases it either way); an expired certificate ->
// GSS_S_CREDENTIALS_EXPIRED.
CVS_EXPORT OM_uint32 cvs_acquire_cred(OM_uint32* minor_status, gss_name_t desired_name,
                                      OM_uint32 time_req, gss_OID_set desired_mechs,
                                      gss_cred_usage_t cred_usage, gss_cred_id_t* output_cred_handle,
                                      gss_buffer_t password);

// The path of the profile the credential was opened from.
CVS_EXPORT OM_uint32 cvs_query_profile_name(OM_uint32* minor_status, gss_cred_id_t cred_handle,
                                            gss_buffer_t profile_name);

// *changed = 1 when the library rewrote the credential's profile file since it
// was opened (a password change), else 0.
CVS_EXPORT OM_uint32 cvs_profile_changed(OM_uint32* minor_status, gss_cred_id_t cred_handle,
                                         int* changed);

// Re-encrypts the credential's private key under the new password and
// rewrites the profile atomically; on any failure the profile on disk is the
// old one and still opens with the old password. The old password must be the
// profile's: else GSS_S_FAILURE with minor 9. An empty new password is
// refused with minor 40.
CVS_EXPORT OM_uint32 cvs_change_password(OM_uint32* minor_status, gss_cred_id_t cred_handle,
                                         gss_buffer_t old_password, gss_buffer_t new_password);

// Hardware tokens are not supported: no token is ever present, and there are
// no token profiles.
CVS_EXPORT OM_uint32 cvs_token_removed(OM_uint32* minor_status, gss_cred_id_t cred_handle,
                                       int* removed);
CVS_EXPORT OM_uint32 cvs_get_num_token_profiles(OM_uint32* minor_status, int* count);
CVS_EXPORT OM_uint32 cvs_get_token_profile_name(OM_uint32* minor_status, int index,
                                                gss_buffer_t profile_name);

// The detail of the last internal error (minor 14) met on the calling
// thread, one line per call; *message_context starts at 0 and comes back 0
// after the last line.
CVS_EXPORT OM_uint32 cvs_display_internal_error(OM_uint32* minor_status,
                                                OM_uint32* message_context,
                                                gss_buffer_t status_string);

// Reads a token's header: its type (CVS_TOKEN_*) and the local context it
// belongs to. A token of no local context gives GSS_S_NO_CONTEXT with the
// type still filled in and *context_handle = GSS_C_NO_CONTEXT; a token that
// is not one of ours gives GSS_S_DEFECTIVE_TOKEN.
CVS_EXPORT OM_uint32 spkm_parse_token(OM_uint32* minor_status, gss_buffer_t token,
                                      int* token_type, gss_ctx_id_t* context_handle);

// The certificate (DER) the peer of an established context presented, in a
// buffer the caller releases with gss_release_buffer. A context not yet
// established gives GSS_S_NO_CONTEXT.
CVS_EXPORT OM_uint32 cvs_export_peer_certificate(OM_uint32* minor_status, gss_ctx_id_t context_handle,
                                                 gss_buffer_t certificate);

// Enrollment. A new key pair is made and a certification request for it is
// bound to the reference number and proven with the authorization code (an
// HMAC-SHA256 under a key derived from the code; the code itself is never
// sent). The organisation's enrollment service answers with the holder's
// certificate, and only then is the profile written at profile_path, its key
// encrypted under password. new_profile 1 creates a profile (an existing
// file is left alone and the call fails with minor 21); 0 recovers one,
// replacing the file when it exists.
//
// Password policy: at least CVS_MIN_PASSWORD_LENGTH bytes; a shorter one is
// refused with minor 40 before anything is sent, so the same reference
// number may be used again with a better password.
//
// cvs_create_user talks to the service itself: section "Corvask Settings",
// key EnrollmentServer ("host:port") of the configuration file. Minor 25
// when none is configured, 43 when it cannot be reached, 42 when it refuses
// (unknown or used reference number, wrong authorization code).
#define CVS_MIN_PASSWORD_LENGTH 8u
CVS_EXPORT OM_uint32 cvs_create_user(OM_uint32* minor_status, int reference_number,
                                     const char* authorization_code, const char* password,
                                     const char* profile_path, int new_profile);

// The same enrollment carried by the caller, one token a step. The first
// call (*exchange 0, no input token) makes the key pair and returns
// GSS_S_CONTINUE_NEEDED with the request in output_token and a new exchange
// handle in *exchange. The caller posts the token and calls again with the
// service's answer as input_token: GSS_S_COMPLETE once the profile is
// written (output_token empty). A password the policy refuses gives minor 40
// at that step and keeps the exchange, so the call may be repeated with the
// same answer and another password. The exchange lives until
// cvs_release_proxy_create.
CVS_EXPORT OM_uint32 cvs_init_proxy_create(OM_uint32* minor_status, int reference_number,
                                           const char* authorization_code, const char* password,
                                           const char* profile_path, int new_profile,
                                           OM_uint32* exchange, gss_buffer_t input_token,
                                           gss_buffer_t output_token);

// Forgets an exchange and wipes its key. GSS_S_NO_CONTEXT for an unknown
// handle. *exchange is set to 0.
CVS_EXPORT OM_uint32 cvs_release_proxy_create(OM_uint32* minor_status, OM_uint32* exchange);

#ifdef __cplusplus
}
#endif
