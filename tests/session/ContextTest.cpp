// Context establishment and per-message protection through the exported
// calls, both sides in one process.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <openssl/x509.h>

#include "session/CvsApi.h"
#include "tests/session/TestPki.h"

using session::CertificateAuthority;

namespace {

constexpr char kServerName[] = "cn=Server One,o=Example";
constexpr char kUserName[] = "cn=Alice Smith,o=Example";
constexpr char kPassword[] = "correct horse";

// Credentials shared by the tests of this file.
struct Parties {
  gss_cred_id_t client;
  gss_cred_id_t server;
};

const Parties& GetParties() {
  static Parties parties = [] {
    TestPki& pki = TestPki::Instance();
    Parties made;
    made.client = pki.Acquire(pki.WriteProfile(kUserName, CertificateAuthority::Role::kUser, kPassword),
                              kPassword, GSS_C_INITIATE);
    made.server = pki.Acquire(pki.WriteProfile(kServerName, CertificateAuthority::Role::kServer, kPassword),
                              kPassword, GSS_C_ACCEPT);
    return made;
  }();
  return parties;
}

std::vector<uint8_t> TakeBuffer(gss_buffer_desc& buffer) {
  const auto* bytes = static_cast<const uint8_t*>(buffer.value);
  std::vector<uint8_t> copy(bytes, bytes + buffer.length);
  OM_uint32 minor = 0;
  gss_release_buffer(&minor, &buffer);
  return copy;
}

int TokenType(const std::vector<uint8_t>& token, gss_ctx_id_t* context, OM_uint32* major) {
  OM_uint32 minor = 0;
  gss_buffer_desc buffer{token.size(), const_cast<uint8_t*>(token.data())};
  int type = 0;
  gss_ctx_id_t found = GSS_C_NO_CONTEXT;
  *major = spkm_parse_token(&minor, &buffer, &type, &found);
  if (context != nullptr) *context = found;
  return type;
}

std::vector<uint8_t> Wrap(gss_ctx_id_t context, const std::string& text, int confidential = 1) {
  OM_uint32 minor = 0;
  gss_buffer_desc in{text.size(), const_cast<char*>(text.data())};
  gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
  int confState = -1;
  EXPECT_EQ(0u, gss_wrap(&minor, context, confidential, 0x500040, &in, &confState, &out));
  EXPECT_EQ(confidential, confState);
  return TakeBuffer(out);
}

struct Unwrapped {
  OM_uint32 major = 0;
  OM_uint32 minor = 0;
  std::string text;
  int conf = -1;
  gss_qop_t qop = 0;
};

Unwrapped Unwrap(gss_ctx_id_t context, const std::vector<uint8_t>& token) {
  Unwrapped result;
  gss_buffer_desc in{token.size(), const_cast<uint8_t*>(token.data())};
  gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
  result.major = gss_unwrap(&result.minor, context, &in, &out, &result.conf, &result.qop);
  if (result.major == 0) {
    std::vector<uint8_t> bytes = TakeBuffer(out);
    result.text.assign(bytes.begin(), bytes.end());
  } else {
    EXPECT_EQ(0u, out.length);
    EXPECT_EQ(nullptr, out.value);
  }
  return result;
}

TEST(ContextTest, EstablishesInThreeTokensAndWrapsBothWays) {
  const Parties& parties = GetParties();
  OM_uint32 minor = 0;
  gss_buffer_desc target{std::strlen(kServerName), const_cast<char*>(kServerName)};
  gss_name_t targetName = GSS_C_NO_NAME;
  ASSERT_EQ(0u, gss_import_name(&minor, &target, gss_nt_ldap_dn, &targetName));
  ContextPair pair;

  gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
  OM_uint32 flags = 0;
  ASSERT_EQ(GSS_S_CONTINUE_NEEDED,
            gss_init_sec_context(&minor, parties.client, &pair.client, targetName, gss_mech_spkm1, 6, 0,
                                 GSS_C_NO_CHANNEL_BINDINGS, GSS_C_NO_BUFFER, nullptr, &out, &flags, nullptr));
  ASSERT_NE(nullptr, pair.client);
  std::vector<uint8_t> first = TakeBuffer(out);
  OM_uint32 parsed = 0;
  gss_ctx_id_t owner = GSS_C_NO_CONTEXT;
  EXPECT_EQ(CVS_TOKEN_INIT, TokenType(first, &owner, &parsed));
  EXPECT_EQ(GSS_S_NO_CONTEXT, parsed);  // the server has no context yet

  gss_buffer_desc in{first.size(), first.data()};
  ASSERT_EQ(GSS_S_CONTINUE_NEEDED,
            gss_accept_sec_context(&minor, &pair.server, parties.server, &in, GSS_C_NO_CHANNEL_BINDINGS,
                                   nullptr, nullptr, &out, nullptr, nullptr, nullptr));
  std::vector<uint8_t> second = TakeBuffer(out);
  EXPECT_EQ(CVS_TOKEN_ACCEPT, TokenType(second, &owner, &parsed));
  EXPECT_EQ(0u, parsed);
  EXPECT_EQ(pair.client, owner);

  in = {second.size(), second.data()};
  ASSERT_EQ(0u, gss_init_sec_context(&minor, parties.client, &pair.client, targetName, gss_mech_spkm1, 6, 0,
                                     GSS_C_NO_CHANNEL_BINDINGS, &in, nullptr, &out, &flags, nullptr))
      << minor;
  EXPECT_NE(0u, flags & GSS_C_MUTUAL_FLAG);
  std::vector<uint8_t> third = TakeBuffer(out);
  EXPECT_EQ(CVS_TOKEN_INIT, TokenType(third, &owner, &parsed));
  EXPECT_EQ(pair.server, owner);

  in = {third.size(), third.data()};
  gss_name_t source = GSS_C_NO_NAME;
  ASSERT_EQ(0u, gss_accept_sec_context(&minor, &pair.server, parties.server, &in, GSS_C_NO_CHANNEL_BINDINGS,
                                       &source, nullptr, &out, nullptr, nullptr, nullptr))
      << minor;
  EXPECT_EQ(0u, out.length);
  gss_buffer_desc shown = GSS_C_EMPTY_BUFFER;
  ASSERT_EQ(0u, gss_display_name(&minor, source, &shown, nullptr));
  EXPECT_EQ(kUserName, std::string(static_cast<char*>(shown.value), shown.length));
  gss_release_buffer(&minor, &shown);
  gss_release_name(&minor, &source);
  gss_release_name(&minor, &targetName);

  std::vector<uint8_t> request = Wrap(pair.client, "GET / HTTP/1.0\r\n");
  EXPECT_EQ(CVS_TOKEN_WRAP, TokenType(request, &owner, &parsed));
  EXPECT_EQ(pair.server, owner);
  EXPECT_EQ(std::string::npos, std::string(request.begin(), request.end()).find("GET /"));
  Unwrapped got = Unwrap(pair.server, request);
  EXPECT_EQ(0u, got.major);
  EXPECT_EQ("GET / HTTP/1.0\r\n", got.text);
  EXPECT_EQ(1, got.conf);
  EXPECT_NE(0u, got.qop & CVS_QOP_INTEGRITY_APPLIED);

  Unwrapped answer = Unwrap(pair.client, Wrap(pair.server, "HTTP/1.0 200 OK\r\n"));
  EXPECT_EQ(0u, answer.major);
  EXPECT_EQ("HTTP/1.0 200 OK\r\n", answer.text);

  Unwrapped empty = Unwrap(pair.client, Wrap(pair.server, ""));
  EXPECT_EQ(0u, empty.major);
  EXPECT_EQ("", empty.text);
}

TEST(ContextTest, ClearMessagesAreAuthenticatedAndReportNoConfidentiality) {
  ContextPair pair;
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, pair, minor));
  std::vector<uint8_t> token = Wrap(pair.client, "visible text", 0);
  EXPECT_NE(std::string::npos, std::string(token.begin(), token.end()).find("visible text"));
  std::vector<uint8_t> forged = token;
  forged[forged.size() - 17] ^= 1;  // the last byte of the message
  EXPECT_EQ(GSS_S_BAD_SIG, Unwrap(pair.server, forged).major);
  Unwrapped got = Unwrap(pair.server, token);
  EXPECT_EQ(0u, got.major);
  EXPECT_EQ(0, got.conf);
  EXPECT_EQ("visible text", got.text);
}

TEST(ContextTest, AcceptsReorderedTokensAndRefusesReplays) {
  ContextPair pair;
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, pair, minor));
  std::vector<std::vector<uint8_t>> tokens;
  for (int i = 0; i < 5; ++i) tokens.push_back(Wrap(pair.client, "message " + std::to_string(i)));
  for (int i : {3, 0, 4, 1, 2}) {
    Unwrapped got = Unwrap(pair.server, tokens[i]);
    EXPECT_EQ(0u, got.major) << i;
    EXPECT_EQ("message " + std::to_string(i), got.text);
  }
  for (const auto& token : tokens) {
    Unwrapped again = Unwrap(pair.server, token);
    EXPECT_TRUE(GSS_ERROR(again.major));
    EXPECT_NE(0u, again.major & GSS_S_DUPLICATE_TOKEN);
    EXPECT_EQ(CVS_MINOR_REPLAYED_TOKEN, again.minor);
  }
}

TEST(ContextTest, RefusesTokensOlderThanTheWindow) {
  ContextPair pair;
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, pair, minor));
  std::vector<uint8_t> early = Wrap(pair.client, "early");
  std::vector<uint8_t> late;
  for (int i = 0; i < 70; ++i) late = Wrap(pair.client, "late");
  EXPECT_EQ(0u, Unwrap(pair.server, late).major);
  Unwrapped old = Unwrap(pair.server, early);
  EXPECT_TRUE(GSS_ERROR(old.major));
  EXPECT_EQ(CVS_MINOR_OLD_TOKEN, old.minor);
}

TEST(ContextTest, RefusesEverySingleByteChange) {
  ContextPair pair;
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, pair, minor));
  std::vector<uint8_t> token = Wrap(pair.client, "a short secret request");
  for (size_t at = 0; at < token.size(); ++at) {
    for (uint8_t change : {0x01, 0x80}) {
      std::vector<uint8_t> changed = token;
      changed[at] ^= change;
      Unwrapped got = Unwrap(pair.server, changed);
      EXPECT_TRUE(GSS_ERROR(got.major)) << "byte " << at;
    }
  }
  std::vector<uint8_t> shorter(token.begin(), token.end() - 1);
  EXPECT_EQ(GSS_S_BAD_SIG, Unwrap(pair.server, shorter).major);
  EXPECT_EQ(0u, Unwrap(pair.server, token).major);  // the original still passes
}

// Starts a context pair and returns the server's ACCEPT token, leaving the
// client waiting for it.
std::vector<uint8_t> StartPair(ContextPair& pair, gss_name_t target) {
  OM_uint32 minor = 0;
  gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
  EXPECT_EQ(GSS_S_CONTINUE_NEEDED,
            gss_init_sec_context(&minor, GetParties().client, &pair.client, target, gss_mech_spkm1, 6, 0,
                                 GSS_C_NO_CHANNEL_BINDINGS, GSS_C_NO_BUFFER, nullptr, &out, nullptr, nullptr));
  std::vector<uint8_t> first = TakeBuffer(out);
  gss_buffer_desc in{first.size(), first.data()};
  EXPECT_EQ(GSS_S_CONTINUE_NEEDED,
            gss_accept_sec_context(&minor, &pair.server, GetParties().server, &in, GSS_C_NO_CHANNEL_BINDINGS,
                                   nullptr, nullptr, &out, nullptr, nullptr, nullptr));
  return TakeBuffer(out);
}

TEST(ContextTest, HandshakeTokensWithAChangedByteAreRefused) {
  OM_uint32 minor = 0;
  gss_buffer_desc target{std::strlen(kServerName), const_cast<char*>(kServerName)};
  gss_name_t targetName = GSS_C_NO_NAME;
  ASSERT_EQ(0u, gss_import_name(&minor, &target, gss_nt_ldap_dn, &targetName));
  // Every header byte, then a sample of the handshake bytes (whose length
  // varies a little with the signature).
  size_t length = 1000;
  for (size_t at = 0; at < length; at += at < 19 ? 1 : 23) {
    ContextPair pair;
    std::vector<uint8_t> accept = StartPair(pair, targetName);
    length = accept.size();
    accept[at] ^= 0x04;
    gss_buffer_desc in{accept.size(), accept.data()};
    gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
    OM_uint32 major = gss_init_sec_context(&minor, GetParties().client, &pair.client, targetName, gss_mech_spkm1,
                                           6, 0, GSS_C_NO_CHANNEL_BINDINGS, &in, nullptr, &out, nullptr, nullptr);
    EXPECT_TRUE(GSS_ERROR(major)) << "byte " << at;
    EXPECT_EQ(0u, out.length);
    gss_release_buffer(&minor, &out);
  }
  gss_release_name(&minor, &targetName);
}

TEST(ContextTest, TokensOfAnotherContextAreUnknown) {
  ContextPair first;
  ContextPair second;
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, first, minor));
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, second, minor));
  std::vector<uint8_t> token = Wrap(first.client, "for the first");
  Unwrapped crossed = Unwrap(second.server, token);
  EXPECT_EQ(GSS_S_NO_CONTEXT, crossed.major);

  // After deletion the context's tokens belong to nothing.
  OM_uint32 parsed = 0;
  gss_ctx_id_t owner = GSS_C_NO_CONTEXT;
  gss_ctx_id_t deleted = first.server;
  ASSERT_EQ(0u, gss_delete_sec_context(&minor, &first.server, GSS_C_NO_BUFFER));
  EXPECT_EQ(CVS_TOKEN_WRAP, TokenType(token, &owner, &parsed));
  EXPECT_EQ(0x80000u, parsed);
  EXPECT_EQ(GSS_C_NO_CONTEXT, owner);
  EXPECT_EQ(GSS_S_NO_CONTEXT, Unwrap(deleted, token).major);
}

TEST(ContextTest, ReflectedTokensAreRefused) {
  ContextPair pair;
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, pair, minor));
  EXPECT_TRUE(GSS_ERROR(Unwrap(pair.client, Wrap(pair.client, "to myself")).major));
}

TEST(ContextTest, ReplayedFirstTokenMakesNoSecondContext) {
  const Parties& parties = GetParties();
  OM_uint32 minor = 0;
  gss_buffer_desc target{std::strlen(kServerName), const_cast<char*>(kServerName)};
  gss_name_t targetName = GSS_C_NO_NAME;
  ASSERT_EQ(0u, gss_import_name(&minor, &target, gss_nt_ldap_dn, &targetName));
  ContextPair pair;
  gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
  ASSERT_EQ(GSS_S_CONTINUE_NEEDED,
            gss_init_sec_context(&minor, parties.client, &pair.client, targetName, gss_mech_spkm1, 6, 0,
                                 GSS_C_NO_CHANNEL_BINDINGS, GSS_C_NO_BUFFER, nullptr, &out, nullptr, nullptr));
  gss_release_name(&minor, &targetName);
  std::vector<uint8_t> first = TakeBuffer(out);
  gss_buffer_desc in{first.size(), first.data()};
  ASSERT_EQ(GSS_S_CONTINUE_NEEDED,
            gss_accept_sec_context(&minor, &pair.server, parties.server, &in, GSS_C_NO_CHANNEL_BINDINGS,
                                   nullptr, nullptr, &out, nullptr, nullptr, nullptr));
  TakeBuffer(out);
  gss_ctx_id_t again = GSS_C_NO_CONTEXT;
  OM_uint32 major = gss_accept_sec_context(&minor, &again, parties.server, &in, GSS_C_NO_CHANNEL_BINDINGS,
                                           nullptr, nullptr, &out, nullptr, nullptr, nullptr);
  EXPECT_TRUE(GSS_ERROR(major));
  EXPECT_EQ(CVS_MINOR_REPLAYED_TOKEN, minor);
  EXPECT_EQ(GSS_C_NO_CONTEXT, again);
  EXPECT_EQ(0u, out.length);
}

// Refusals during establishment: each side's certificate is checked.
struct RefusalCase {
  const char* title;
  const char* clientName;
  const char* serverName;
  const char* target;
  bool foreignClient;
  bool foreignServer;
  OM_uint32 minor;
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, IsRefusedWithAReportableStatus) {
  const RefusalCase& row = GetParam();
  TestPki& pki = TestPki::Instance();
  gss_cred_id_t client = pki.Acquire(
      pki.WriteProfile(row.clientName, CertificateAuthority::Role::kUser, kPassword, row.foreignClient),
      kPassword, GSS_C_INITIATE);
  gss_cred_id_t server = pki.Acquire(
      pki.WriteProfile(row.serverName, CertificateAuthority::Role::kServer, kPassword, row.foreignServer),
      kPassword, GSS_C_ACCEPT);
  ContextPair pair;
  OM_uint32 minor = 0;
  OM_uint32 major = EstablishPair(client, server, row.target, pair, minor);
  EXPECT_TRUE(GSS_ERROR(major)) << row.title;
  EXPECT_EQ(row.minor, minor) << row.title;
  gss_buffer_desc text = GSS_C_EMPTY_BUFFER;
  OM_uint32 context = 0;
  OM_uint32 ignored = 0;
  EXPECT_EQ(0u, gss_display_status(&ignored, minor, GSS_C_MECH_CODE, GSS_C_NO_OID, &context, &text));
  EXPECT_GT(text.length, 0u);
  gss_release_buffer(&ignored, &text);
  gss_release_cred(&ignored, &client);
  gss_release_cred(&ignored, &server);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusalTest,
    testing::Values(
        RefusalCase{"server is not the target", kUserName, "cn=Server Two,o=Example", kServerName, false,
                    false, CVS_MINOR_TARGET_MISMATCH},
        RefusalCase{"server from another authority", kUserName, kServerName, kServerName, false, true,
                    CVS_MINOR_PEER_NOT_TRUSTED},
        RefusalCase{"user from another authority", kUserName, kServerName, kServerName, true, false,
                    CVS_MINOR_PEER_NOT_TRUSTED}));

TEST(ContextTest, ServerProfileCannotActAsAUser) {
  TestPki& pki = TestPki::Instance();
  // A server's certificate presented by the initiator is not a client's.
  gss_cred_id_t impostor = pki.Acquire(
      pki.WriteProfile(kUserName, CertificateAuthority::Role::kServer, kPassword), kPassword, GSS_C_BOTH);
  ContextPair pair;
  OM_uint32 minor = 0;
  EXPECT_TRUE(GSS_ERROR(EstablishPair(impostor, GetParties().server, kServerName, pair, minor)));
  EXPECT_EQ(CVS_MINOR_PEER_NOT_TRUSTED, minor);
  gss_release_cred(&minor, &impostor);
}

TEST(ContextTest, ContextsWorkFromSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      ContextPair pair;
      OM_uint32 minor = 0;
      if (EstablishPair(GetParties().client, GetParties().server, kServerName, pair, minor) != 0) {
        ++failures[t];
        return;
      }
      for (int i = 0; i < 50; ++i) {
        std::string text = "thread " + std::to_string(t) + " message " + std::to_string(i);
        Unwrapped got = Unwrap(pair.server, Wrap(pair.client, text));
        if (got.major != 0 || got.text != text) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : failures) EXPECT_EQ(0, count);
}

TEST(ContextTest, OneContextSharedByThreads) {
  ContextPair pair;
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, pair, minor));
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  std::vector<int> passed(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &pair, &failures, &passed] {
      for (int i = 0; i < 50; ++i) {
        std::string text = "shared " + std::to_string(t) + "/" + std::to_string(i);
        Unwrapped got = Unwrap(pair.server, Wrap(pair.client, text));
        // A thread held up long enough may find its token behind the replay
        // window: that refusal is right. Anything else is not.
        if (got.major == 0 && got.text == text) {
          ++passed[t];
        } else if (got.minor != CVS_MINOR_OLD_TOKEN) {
          ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(0, failures[t]);
    EXPECT_GT(passed[t], 0);
  }
}

TEST(ContextTest, UnestablishedAndUnknownContextsAreRefused) {
  OM_uint32 minor = 0;
  gss_buffer_desc in{5, const_cast<char*>("hello")};
  gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
  EXPECT_EQ(GSS_S_NO_CONTEXT, gss_wrap(&minor, reinterpret_cast<gss_ctx_id_t>(0x12345), 1, 0, &in, nullptr, &out));
  gss_ctx_id_t none = reinterpret_cast<gss_ctx_id_t>(0x777);
  EXPECT_EQ(GSS_S_NO_CONTEXT, gss_delete_sec_context(&minor, &none, GSS_C_NO_BUFFER));
  int type = 0;
  gss_ctx_id_t owner = GSS_C_NO_CONTEXT;
  EXPECT_EQ(GSS_S_DEFECTIVE_TOKEN, spkm_parse_token(&minor, &in, &type, &owner));
  gss_ctx_id_t accepted = GSS_C_NO_CONTEXT;
  EXPECT_EQ(GSS_S_DEFECTIVE_TOKEN,
            gss_accept_sec_context(&minor, &accepted, GetParties().server, &in, GSS_C_NO_CHANNEL_BINDINGS,
                                   nullptr, nullptr, &out, nullptr, nullptr, nullptr));
  EXPECT_EQ(GSS_C_NO_CONTEXT, accepted);
  std::vector<uint8_t> huge(70 * 1024, 0);
  huge[0] = 1;
  huge[1] = CVS_TOKEN_INIT;
  huge[2] = 1;
  gss_buffer_desc oversized{huge.size(), huge.data()};
  EXPECT_EQ(GSS_S_DEFECTIVE_TOKEN,
            gss_accept_sec_context(&minor, &accepted, GetParties().server, &oversized, GSS_C_NO_CHANNEL_BINDINGS,
                                   nullptr, nullptr, &out, nullptr, nullptr, nullptr));
  EXPECT_EQ(CVS_MINOR_TOO_LARGE, minor);
}

TEST(ContextTest, PeerCertificatesAreExportedOnceEstablished) {
  ContextPair pair;
  OM_uint32 minor = 0;
  ASSERT_EQ(0u, EstablishPair(GetParties().client, GetParties().server, kServerName, pair, minor));
  struct Side {
    gss_ctx_id_t context;
    const char* peer;
  } sides[] = {{pair.server, kUserName}, {pair.client, kServerName}};
  for (const Side& side : sides) {
    gss_buffer_desc der = GSS_C_EMPTY_BUFFER;
    ASSERT_EQ(0u, cvs_export_peer_certificate(&minor, side.context, &der));
    std::vector<uint8_t> bytes = TakeBuffer(der);
    const uint8_t* cursor = bytes.data();
    X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(bytes.size()));
    ASSERT_NE(nullptr, certificate);
    char name[256] = {};
    X509_NAME_oneline(X509_get_subject_name(certificate), name, sizeof name);
    X509_free(certificate);
    // Both names hold their common name.
    std::string expected(side.peer + 3, std::strchr(side.peer, ',') - side.peer - 3);
    EXPECT_NE(std::string::npos, std::string(name).find(expected)) << name;
  }
  gss_buffer_desc der = GSS_C_EMPTY_BUFFER;
  EXPECT_EQ(GSS_S_NO_CONTEXT, cvs_export_peer_certificate(&minor, reinterpret_cast<gss_ctx_id_t>(0x777), &der));
  EXPECT_EQ(nullptr, der.value);
  EXPECT_EQ(GSS_S_CALL_INACCESSIBLE_WRITE, cvs_export_peer_certificate(&minor, pair.server, nullptr));
}

}  // namespace
