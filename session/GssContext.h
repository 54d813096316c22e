#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "session/Credential.h"
#include "session/GssApi.h"
#include "session/MessageCipher.h"
#include "session/OpenSslTypes.h"
#include "session/ReplayWindow.h"
#include "session/TokenFormat.h"

namespace session {

// One security context, either side. Establishment is a TLS 1.3 handshake
// run over memory buffers, each flight carried in one token after the token
// header: INIT (ClientHello), ACCEPT (the server's flight), INIT (the
// client's certificate flight); the acceptor then completes without a token.
// Both sides present their certificate and verify the peer's chain against
// the organisation's authority; the initiator also requires the acceptor's
// subject to equal the target name.
//
// Once established, each direction has its own AES-256-GCM key and IV,
// taken from the TLS exporter; the handshake state is then freed. Wrap
// numbers its messages; Unwrap accepts each number once, in any order within
// the replay window.
//
// All operations lock the context, so one context may be used from several
// threads; different contexts never share state.
class GssContext {
 public:
  enum class Role { kInitiator, kAcceptor };

  // credential must be open for the role. target: the acceptor's expected
  // name (initiator only; copied).
  GssContext(Role role, std::shared_ptr<Credential> credential, const X509_NAME* target);
  GssContext(const GssContext&) = delete;
  GssContext& operator=(const GssContext&) = delete;
  ~GssContext();

  // One establishment step. token: the peer's last token (none for the
  // initiator's first step). out receives this side's next token (may stay
  // empty). Returns GSS_S_COMPLETE, GSS_S_CONTINUE_NEEDED or an error with
  // its minor status; after an error the context is unusable.
  uint32_t Step(const uint8_t* token, size_t length, std::vector<uint8_t>& out, uint32_t& minor);

  uint32_t Wrap(bool confidential, const uint8_t* message, size_t length, gss_buffer_t out,
                int* confState, uint32_t& minor);
  uint32_t Unwrap(const uint8_t* token, size_t length, gss_buffer_t out, int* confState,
                  gss_qop_t* qopState, uint32_t& minor);

  Role GetRole() const { return role_; }
  bool IsEstablished() const;
  // The identifier every token of this context carries (valid after the
  // first step).
  std::string GetId() const;
  // The peer's distinguished name once established, else empty.
  std::string GetPeerName() const;
  // The peer's certificate (DER) once established, else empty.
  std::vector<uint8_t> GetPeerCertificate() const;
  // Seconds until either certificate expires (0 once one has).
  uint32_t GetLifetime() const;

 private:
  enum class State { kNew, kHandshake, kEstablished, kFailed };

  uint32_t StartHandshake(const uint8_t* token, size_t length, uint32_t& minor);
  uint32_t CheckPeerToken(const uint8_t* token, size_t length, uint32_t& minor) const;
  uint32_t FinishHandshake(uint32_t& minor);
  uint32_t FailHandshake(uint32_t& minor);
  void TakeOutput(std::vector<uint8_t>& out);
  bool IsExpired() const;
  uint8_t OwnFlags() const;

  mutable std::mutex lock_;
  const Role role_;
  std::shared_ptr<Credential> credential_;
  X509NamePtr target_;
  State state_ = State::kNew;
  uint8_t id_[TokenFormat::kIdLength] = {};
  SslPtr tls_;
  BIO* input_ = nullptr;   // owned by tls_
  BIO* output_ = nullptr;  // owned by tls_
  std::string peerName_;
  std::vector<uint8_t> peerCertificate_;
  time_t notAfter_ = 0;
  MessageCipher sender_;
  MessageCipher receiver_;
  uint64_t nextSequence_ = 0;
  ReplayWindow window_;
};

}  // namespace session
