#include "session/GssContext.h"

#include <openssl/err.h>
#include <openssl/rand.h>

#include <cstdlib>
#include <cstring>

#include "session/CvsApi.h"
#include "session/DistinguishedName.h"
#include "session/InternalError.h"

namespace session {

namespace {

constexpr char kExporterLabel[] = "EXPORTER-velgrade-message-keys";
constexpr size_t kDirectionLength = MessageCipher::kKeyLength + MessageCipher::kIvLength;

}  // namespace

GssContext::GssContext(Role role, std::shared_ptr<Credential> credential, const X509_NAME* target)
    : role_(role), credential_(std::move(credential)) {
  if (target != nullptr) target_.reset(X509_NAME_dup(target));
  if (credential_) notAfter_ = credential_->GetNotAfter();
}

GssContext::~GssContext() { OPENSSL_cleanse(id_, sizeof id_); }

bool GssContext::IsEstablished() const {
  std::lock_guard<std::mutex> hold(lock_);
  return state_ == State::kEstablished;
}

std::string GssContext::GetId() const {
  std::lock_guard<std::mutex> hold(lock_);
  return std::string(reinterpret_cast<const char*>(id_), sizeof id_);
}

std::string GssContext::GetPeerName() const {
  std::lock_guard<std::mutex> hold(lock_);
  return peerName_;
}

std::vector<uint8_t> GssContext::GetPeerCertificate() const {
  std::lock_guard<std::mutex> guard(lock_);
  return peerCertificate_;
}

uint32_t GssContext::GetLifetime() const {
  std::lock_guard<std::mutex> hold(lock_);
  time_t now = time(nullptr);
  if (now >= notAfter_) return 0;
  time_t left = notAfter_ - now;
  return left >= static_cast<time_t>(UINT32_MAX) ? UINT32_MAX - 1 : static_cast<uint32_t>(left);
}

bool GssContext::IsExpired() const { return time(nullptr) >= notAfter_; }

uint8_t GssContext::OwnFlags() const {
  return role_ == Role::kInitiator ? TokenFormat::kFromInitiator : 0;
}

uint32_t GssContext::Step(const uint8_t* token, size_t length, std::vector<uint8_t>& out,
                          uint32_t& minor) {
  std::lock_guard<std::mutex> hold(lock_);
  out.clear();
  if (length > TokenFormat::kMaxHandshakeLength) {
    minor = CVS_MINOR_TOO_LARGE;
    return GSS_S_DEFECTIVE_TOKEN;
  }
  uint32_t major = GSS_S_COMPLETE;
  switch (state_) {
    case State::kNew:
      major = StartHandshake(token, length, minor);
      break;
    case State::kHandshake:
      major = CheckPeerToken(token, length, minor);
      break;
    case State::kEstablished:
    case State::kFailed:
      minor = state_ == State::kFailed ? CVS_MINOR_HANDSHAKE : CVS_MINOR_TOKEN_TYPE;
      return GSS_S_FAILURE;
  }
  if (major != GSS_S_COMPLETE) return major;
  if (length > TokenFormat::kHeaderLength) {
    const uint8_t* flight = token + TokenFormat::kHeaderLength;
    int flightLength = static_cast<int>(length - TokenFormat::kHeaderLength);
    if (BIO_write(input_, flight, flightLength) != flightLength) {
      InternalError::Record("Cannot buffer the peer's handshake data");
      minor = CVS_MINOR_INTERNAL;
      state_ = State::kFailed;
      return GSS_S_FAILURE;
    }
  }
  int result = SSL_do_handshake(tls_.get());
  if (result == 1) {
    major = FinishHandshake(minor);
    if (major == GSS_S_COMPLETE) TakeOutput(out);
    tls_.reset();
    input_ = output_ = nullptr;
    return major;
  }
  if (SSL_get_error(tls_.get(), result) == SSL_ERROR_WANT_READ && BIO_ctrl_pending(output_) > 0) {
    TakeOutput(out);
    return GSS_S_CONTINUE_NEEDED;
  }
  return FailHandshake(minor);
}

uint32_t GssContext::StartHandshake(const uint8_t* token, size_t length, uint32_t& minor) {
  SSL_CTX* configuration = credential_ ? credential_->GetTlsContext(role_ == Role::kInitiator)
                                       : nullptr;
  if (configuration == nullptr) {
    minor = CVS_MINOR_WRONG_USAGE;
    return GSS_S_NO_CRED;
  }
  if (role_ == Role::kInitiator) {
    if (length != 0) {
      minor = CVS_MINOR_TOKEN_TYPE;
      return GSS_S_DEFECTIVE_TOKEN;
    }
    if (RAND_bytes(id_, sizeof id_) != 1) {
      InternalError::Record("Cannot choose a context identifier");
      minor = CVS_MINOR_INTERNAL;
      return GSS_S_FAILURE;
    }
  } else {
    TokenFormat::Header header;
    if (!TokenFormat::ParseHeader(token, length, header)) {
      minor = CVS_MINOR_MALFORMED_TOKEN;
      return GSS_S_DEFECTIVE_TOKEN;
    }
    if (header.type != TokenFormat::kTypeInit || (header.flags & TokenFormat::kFromInitiator) == 0) {
      minor = CVS_MINOR_TOKEN_TYPE;
      return GSS_S_DEFECTIVE_TOKEN;
    }
    std::memcpy(id_, header.contextId, sizeof id_);
  }
  tls_.reset(SSL_new(configuration));
  input_ = BIO_new(BIO_s_mem());
  output_ = BIO_new(BIO_s_mem());
  if (!tls_ || input_ == nullptr || output_ == nullptr) {
    BIO_free(input_);
    BIO_free(output_);
    input_ = output_ = nullptr;
    InternalError::Record("Cannot start the handshake");
    minor = CVS_MINOR_INTERNAL;
    state_ = State::kFailed;
    return GSS_S_FAILURE;
  }
  SSL_set_bio(tls_.get(), input_, output_);
  if (role_ == Role::kInitiator) {
    SSL_set_connect_state(tls_.get());
  } else {
    SSL_set_accept_state(tls_.get());
  }
  state_ = State::kHandshake;
  return GSS_S_COMPLETE;
}

uint32_t GssContext::CheckPeerToken(const uint8_t* token, size_t length, uint32_t& minor) const {
  TokenFormat::Header header;
  if (!TokenFormat::ParseHeader(token, length, header)) {
    minor = CVS_MINOR_MALFORMED_TOKEN;
    return GSS_S_DEFECTIVE_TOKEN;
  }
  uint8_t expected = role_ == Role::kInitiator ? TokenFormat::kTypeAccept : TokenFormat::kTypeInit;
  if (header.type != expected || (header.flags & TokenFormat::kFromInitiator) == OwnFlags()) {
    minor = CVS_MINOR_TOKEN_TYPE;
    return GSS_S_DEFECTIVE_TOKEN;
  }
  if (CRYPTO_memcmp(header.contextId, id_, sizeof id_) != 0) {
    minor = CVS_MINOR_UNKNOWN_CONTEXT;
    return GSS_S_NO_CONTEXT;
  }
  return GSS_S_COMPLETE;
}

uint32_t GssContext::FinishHandshake(uint32_t& minor) {
  X509* peer = SSL_get0_peer_certificate(tls_.get());
  if (peer == nullptr) {
    minor = CVS_MINOR_PEER_NOT_TRUSTED;
    state_ = State::kFailed;
    return GSS_S_DEFECTIVE_CREDENTIAL;
  }
  if (role_ == Role::kInitiator &&
      (!target_ || X509_NAME_cmp(X509_get_subject_name(peer), target_.get()) != 0)) {
    minor = CVS_MINOR_TARGET_MISMATCH;
    state_ = State::kFailed;
    return GSS_S_BAD_NAME;
  }
  time_t peerNotAfter = 0;
  peerName_ = DistinguishedName::Format(X509_get_subject_name(peer));
  if (peerName_.empty() || !Credential::ToUnixTime(X509_get0_notAfter(peer), peerNotAfter)) {
    minor = CVS_MINOR_PEER_NOT_TRUSTED;
    state_ = State::kFailed;
    return GSS_S_DEFECTIVE_CREDENTIAL;
  }
  if (peerNotAfter < notAfter_) notAfter_ = peerNotAfter;
  int derLength = i2d_X509(peer, nullptr);
  if (derLength > 0) {
    peerCertificate_.resize(static_cast<size_t>(derLength));
    uint8_t* cursor = peerCertificate_.data();
    if (i2d_X509(peer, &cursor) != derLength) peerCertificate_.clear();
  }
  uint8_t material[2 * kDirectionLength];
  bool ok = SSL_export_keying_material(tls_.get(), material, sizeof material, kExporterLabel,
                                       sizeof kExporterLabel - 1, nullptr, 0, 0) == 1;
  const uint8_t* fromInitiator = material;
  const uint8_t* fromAcceptor = material + kDirectionLength;
  const uint8_t* mine = role_ == Role::kInitiator ? fromInitiator : fromAcceptor;
  const uint8_t* theirs = role_ == Role::kInitiator ? fromAcceptor : fromInitiator;
  ok = ok && sender_.Init(mine, mine + MessageCipher::kKeyLength, true) &&
       receiver_.Init(theirs, theirs + MessageCipher::kKeyLength, false);
  OPENSSL_cleanse(material, sizeof material);
  if (!ok) {
    InternalError::Record("Cannot derive the message keys");
    minor = CVS_MINOR_INTERNAL;
    state_ = State::kFailed;
    return GSS_S_FAILURE;
  }
  state_ = State::kEstablished;
  return GSS_S_COMPLETE;
}

uint32_t GssContext::FailHandshake(uint32_t& minor) {
  long verdict = SSL_get_verify_result(tls_.get());
  ERR_clear_error();
  tls_.reset();
  input_ = output_ = nullptr;
  state_ = State::kFailed;
  if (verdict == X509_V_ERR_CERT_HAS_EXPIRED || verdict == X509_V_ERR_CERT_NOT_YET_VALID) {
    minor = CVS_MINOR_PEER_EXPIRED;
    return GSS_S_DEFECTIVE_CREDENTIAL;
  }
  if (verdict != X509_V_OK) {
    minor = CVS_MINOR_PEER_NOT_TRUSTED;
    return GSS_S_DEFECTIVE_CREDENTIAL;
  }
  minor = CVS_MINOR_HANDSHAKE;
  return GSS_S_DEFECTIVE_TOKEN;
}

void GssContext::TakeOutput(std::vector<uint8_t>& out) {
  size_t pending = BIO_ctrl_pending(output_);
  if (pending == 0) return;
  TokenFormat::Header header;
  header.type = role_ == Role::kInitiator ? TokenFormat::kTypeInit : TokenFormat::kTypeAccept;
  header.flags = OwnFlags();
  std::memcpy(header.contextId, id_, sizeof id_);
  out.resize(TokenFormat::kHeaderLength + pending);
  TokenFormat::WriteHeader(header, out.data());
  int read = BIO_read(output_, out.data() + TokenFormat::kHeaderLength, static_cast<int>(pending));
  out.resize(TokenFormat::kHeaderLength + (read > 0 ? static_cast<size_t>(read) : 0));
}

uint32_t GssContext::Wrap(bool confidential, const uint8_t* message, size_t length,
                          gss_buffer_t out, int* confState, uint32_t& minor) {
  std::lock_guard<std::mutex> hold(lock_);
  if (state_ != State::kEstablished) {
    minor = CVS_MINOR_NOT_ESTABLISHED;
    return GSS_S_NO_CONTEXT;
  }
  if (IsExpired()) {
    minor = CVS_MINOR_PEER_EXPIRED;
    return GSS_S_CONTEXT_EXPIRED;
  }
  if (length > TokenFormat::kMaxTokenLength - TokenFormat::kWrapOverhead) {
    minor = CVS_MINOR_TOO_LARGE;
    return GSS_S_FAILURE;
  }
  if (nextSequence_ == UINT64_MAX) {
    minor = CVS_MINOR_SEQUENCE_EXHAUSTED;
    return GSS_S_CONTEXT_EXPIRED;
  }
  size_t total = TokenFormat::kWrapOverhead + length;
  auto* token = static_cast<uint8_t*>(std::malloc(total));
  if (token == nullptr) {
    InternalError::Record("Out of memory for a wrapped message");
    minor = CVS_MINOR_INTERNAL;
    return GSS_S_FAILURE;
  }
  TokenFormat::Header header;
  header.type = TokenFormat::kTypeWrap;
  header.flags = OwnFlags() | (confidential ? TokenFormat::kConfidential : 0);
  std::memcpy(header.contextId, id_, sizeof id_);
  TokenFormat::WriteHeader(header, token);
  TokenFormat::WriteSequence(nextSequence_, token + TokenFormat::kHeaderLength);
  uint8_t* body = token + TokenFormat::kHeaderLength + TokenFormat::kSequenceLength;
  if (!confidential && length > 0) std::memcpy(body, message, length);
  if (!sender_.Seal(nextSequence_, token, TokenFormat::kHeaderLength + TokenFormat::kSequenceLength,
                    message, length, confidential, body, body + length)) {
    std::free(token);
    InternalError::Record("Cannot protect a message");
    minor = CVS_MINOR_INTERNAL;
    return GSS_S_FAILURE;
  }
  ++nextSequence_;
  out->value = token;
  out->length = total;
  if (confState != nullptr) *confState = confidential ? 1 : 0;
  return GSS_S_COMPLETE;
}

uint32_t GssContext::Unwrap(const uint8_t* token, size_t length, gss_buffer_t out, int* confState,
                            gss_qop_t* qopState, uint32_t& minor) {
  TokenFormat::Wrapped wrapped;
  if (!TokenFormat::ParseWrapped(token, length, wrapped)) {
    TokenFormat::Header header;
    bool isHeader = TokenFormat::ParseHeader(token, length, header);
    minor = isHeader && header.type != TokenFormat::kTypeWrap ? CVS_MINOR_TOKEN_TYPE
                                                              : CVS_MINOR_MALFORMED_TOKEN;
    return GSS_S_DEFECTIVE_TOKEN;
  }
  std::lock_guard<std::mutex> hold(lock_);
  if (state_ != State::kEstablished) {
    minor = CVS_MINOR_NOT_ESTABLISHED;
    return GSS_S_NO_CONTEXT;
  }
  if (CRYPTO_memcmp(wrapped.header.contextId, id_, sizeof id_) != 0) {
    minor = CVS_MINOR_UNKNOWN_CONTEXT;
    return GSS_S_NO_CONTEXT;
  }
  if ((wrapped.header.flags & TokenFormat::kFromInitiator) == OwnFlags()) {
    minor = CVS_MINOR_TOKEN_TYPE;
    return GSS_S_DEFECTIVE_TOKEN;
  }
  if (IsExpired()) {
    minor = CVS_MINOR_PEER_EXPIRED;
    return GSS_S_CONTEXT_EXPIRED;
  }
  switch (window_.Check(wrapped.sequence)) {
    case ReplayWindow::Verdict::kNew:
      break;
    case ReplayWindow::Verdict::kReplayed:
      minor = CVS_MINOR_REPLAYED_TOKEN;
      return GSS_S_FAILURE | GSS_S_DUPLICATE_TOKEN;
    case ReplayWindow::Verdict::kTooOld:
      minor = CVS_MINOR_OLD_TOKEN;
      return GSS_S_FAILURE | GSS_S_OLD_TOKEN;
  }
  bool confidential = (wrapped.header.flags & TokenFormat::kConfidential) != 0;
  uint8_t* plain = nullptr;
  if (wrapped.messageLength > 0) {
    plain = static_cast<uint8_t*>(std::malloc(wrapped.messageLength));
    if (plain == nullptr) {
      InternalError::Record("Out of memory for an unwrapped message");
      minor = CVS_MINOR_INTERNAL;
      return GSS_S_FAILURE;
    }
  }
  if (!receiver_.Open(wrapped.sequence, token, TokenFormat::kHeaderLength + TokenFormat::kSequenceLength,
                      wrapped.message, wrapped.messageLength, confidential, plain, wrapped.tag)) {
    if (plain != nullptr) OPENSSL_cleanse(plain, wrapped.messageLength);
    std::free(plain);
    ERR_clear_error();
    minor = CVS_MINOR_INTEGRITY;
    return GSS_S_BAD_SIG;
  }
  if (!confidential && wrapped.messageLength > 0)
    std::memcpy(plain, wrapped.message, wrapped.messageLength);
  window_.Accept(wrapped.sequence);
  out->value = plain;
  out->length = wrapped.messageLength;
  if (confState != nullptr) *confState = confidential ? 1 : 0;
  if (qopState != nullptr) *qopState = CVS_QOP_INTEGRITY_APPLIED;
  return GSS_S_COMPLETE;
}

}  // namespace session
