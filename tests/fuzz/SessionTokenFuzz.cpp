// Token header and wrapped-token parsing: any bytes given to spkm_parse_token,
// gss_unwrap on an established context and gss_accept_sec_context must be
// refused cleanly (a forged message that unwraps would be a fault).
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

#include "session/ApiSupport.h"
#include "session/CertificateAuthority.h"
#include "session/Credential.h"
#include "session/CvsApi.h"
#include "session/DistinguishedName.h"
#include "session/TokenFormat.h"

namespace {

using session::CertificateAuthority;

gss_cred_id_t MakeCredential(EVP_PKEY* authorityKey, X509* authority, const char* name,
                             CertificateAuthority::Role role, int usage) {
  session::EvpPkeyPtr key = CertificateAuthority::GenerateKey();
  session::X509NamePtr subject = session::DistinguishedName::Parse(std::string(name));
  time_t now = time(nullptr);
  session::X509Ptr certificate = CertificateAuthority::Issue(authorityKey, authority, subject.get(), key.get(),
                                                             role, now - 60, now + 86400);
  auto credential = session::Credential::Create(key.get(), certificate.get(), authority, usage, "");
  if (!credential) std::abort();
  return reinterpret_cast<gss_cred_id_t>(session::ApiSupport::Credentials().Add(credential));
}

struct Established {
  gss_cred_id_t server = GSS_C_NO_CREDENTIAL;
  gss_ctx_id_t client = GSS_C_NO_CONTEXT;
  gss_ctx_id_t acceptor = GSS_C_NO_CONTEXT;
};

Established Establish() {
  session::EvpPkeyPtr authorityKey = CertificateAuthority::GenerateKey();
  session::X509NamePtr authorityName = session::DistinguishedName::Parse(std::string("o=Fuzz"));
  time_t now = time(nullptr);
  session::X509Ptr authority = CertificateAuthority::CreateRoot(authorityKey.get(), authorityName.get(), now - 60,
                                                                now + 86400);
  Established made;
  gss_cred_id_t client = MakeCredential(authorityKey.get(), authority.get(), "cn=User,o=Fuzz",
                                        CertificateAuthority::Role::kUser, GSS_C_INITIATE);
  made.server = MakeCredential(authorityKey.get(), authority.get(), "cn=Server,o=Fuzz",
                               CertificateAuthority::Role::kServer, GSS_C_ACCEPT);
  OM_uint32 minor = 0;
  std::string target = "cn=Server,o=Fuzz";
  gss_buffer_desc targetBuffer{target.size(), target.data()};
  gss_name_t targetName = GSS_C_NO_NAME;
  gss_import_name(&minor, &targetBuffer, gss_nt_ldap_dn, &targetName);
  gss_buffer_desc toServer = GSS_C_EMPTY_BUFFER;
  gss_buffer_desc toClient = GSS_C_EMPTY_BUFFER;
  OM_uint32 major = GSS_S_CONTINUE_NEEDED;
  for (int round = 0; round < 3 && major == GSS_S_CONTINUE_NEEDED; ++round) {
    major = gss_init_sec_context(&minor, client, &made.client, targetName, gss_mech_spkm1, 6, 0,
                                 GSS_C_NO_CHANNEL_BINDINGS, round == 0 ? GSS_C_NO_BUFFER : &toClient, nullptr,
                                 &toServer, nullptr, nullptr);
    gss_release_buffer(&minor, &toClient);
    if (GSS_ERROR(major)) std::abort();
    major = gss_accept_sec_context(&minor, &made.acceptor, made.server, &toServer, GSS_C_NO_CHANNEL_BINDINGS,
                                   nullptr, nullptr, &toClient, nullptr, nullptr, nullptr);
    gss_release_buffer(&minor, &toServer);
    if (GSS_ERROR(major)) std::abort();
  }
  gss_release_name(&minor, &targetName);
  if (major != GSS_S_COMPLETE) std::abort();
  return made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Established established = Establish();
  session::TokenFormat::Wrapped wrapped;
  session::TokenFormat::ParseWrapped(data, size, wrapped);

  OM_uint32 minor = 0;
  gss_buffer_desc token{size, const_cast<uint8_t*>(data)};
  int type = 0;
  gss_ctx_id_t owner = GSS_C_NO_CONTEXT;
  spkm_parse_token(&minor, &token, &type, &owner);

  gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
  int conf = 0;
  gss_qop_t qop = 0;
  if (gss_unwrap(&minor, established.acceptor, &token, &out, &conf, &qop) == GSS_S_COMPLETE) std::abort();
  if (gss_unwrap(&minor, established.client, &token, &out, &conf, &qop) == GSS_S_COMPLETE) std::abort();

  gss_ctx_id_t fresh = GSS_C_NO_CONTEXT;
  gss_accept_sec_context(&minor, &fresh, established.server, &token, GSS_C_NO_CHANNEL_BINDINGS, nullptr, nullptr,
                         &out, nullptr, nullptr, nullptr);
  gss_release_buffer(&minor, &out);
  if (fresh != GSS_C_NO_CONTEXT) gss_delete_sec_context(&minor, &fresh, GSS_C_NO_BUFFER);
  return 0;
}
