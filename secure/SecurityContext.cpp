#include "secure/SecurityContext.h"

#include <cstring>

#include "common/Base64.h"
#include "engine/Velgrade.h"
#include "secure/SecureMessage.h"
#include "secure/SecurityContextTable.h"
#include "session/GssApi.h"

namespace {

constexpr OM_uint32 kRequestedFlags = GSS_C_MUTUAL_FLAG | GSS_C_REPLAY_FLAG;

unsigned long HandleNumber(gss_ctx_id_t handle) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(handle));
}

// A buffer the session library filled; released when it goes out of scope.
class LibraryBuffer {
 public:
  LibraryBuffer() = default;
  ~LibraryBuffer() { Release(); }
  LibraryBuffer(const LibraryBuffer&) = delete;
  LibraryBuffer& operator=(const LibraryBuffer&) = delete;

  gss_buffer_desc* Get() { return &buffer_; }
  const uint8_t* Bytes() const { return static_cast<const uint8_t*>(buffer_.value); }
  size_t Length() const { return buffer_.value != nullptr ? buffer_.length : 0; }
  void Release() {
    if (buffer_.value == nullptr) return;
    OM_uint32 minor = 0;
    gss_release_buffer(&minor, &buffer_);
    buffer_.value = nullptr;
    buffer_.length = 0;
  }

 private:
  gss_buffer_desc buffer_ = GSS_C_EMPTY_BUFFER;
};

// An imported name; released when it goes out of scope.
class ImportedName {
 public:
  ImportedName() = default;
  ~ImportedName() {
    if (name_ == GSS_C_NO_NAME) return;
    OM_uint32 minor = 0;
    gss_release_name(&minor, &name_);
  }
  ImportedName(const ImportedName&) = delete;
  ImportedName& operator=(const ImportedName&) = delete;

  gss_name_t* Out() { return &name_; }
  gss_name_t Get() const { return name_; }

 private:
  gss_name_t name_ = GSS_C_NO_NAME;
};

gss_buffer_desc InputOf(const void* bytes, size_t length) {
  gss_buffer_desc input;
  input.length = length;
  input.value = const_cast<void*>(bytes);
  return input;
}

void LogContext(DWORD category, const char* format, const GString& peer, gss_ctx_id_t handle) {
  Velgrade* engine = SecurityContextTable::GetEngine();
  if (engine != nullptr) engine->Log(category, format, peer.Text(), HandleNumber(handle));
}

}  // namespace

SecurityContext::SecurityContext(const GString& peerName, const GString& command)
    : lastUsed_(time(nullptr)),
      peerName_(peerName),
      peerNameBase64_(Base64Encode(peerName.Text(), peerName.Size())),
      command_(command) {
  Velgrade* engine = SecurityContextTable::GetEngine();
  if (engine == nullptr) return;
  int shown = command_.GetLength() >= 2 ? command_.GetLength() - 2 : 0;
  engine->Log(kLogContexts, "Created new client security context for peer <%s> with HTTP command <%.*s>\n",
              peerName_.Text(), shown, command_.Text());
}

SecurityContext::~SecurityContext() {
  CriticalSectionLock guard(lock_);
  if (useCount_ != 0) {
    LogContext(kLogContexts, "Internal error - deleting in-use security context for peer <%s> with GSS context 0x%lX\n",
               peerName_, gssContext_);
  }
  if (gssContext_ != GSS_C_NO_CONTEXT) {
    LogContext(kLogContexts, "Deleting security context for peer <%s> with GSS context 0x%lX\n", peerName_,
               gssContext_);
    OM_uint32 minor = 0;
    OM_uint32 major = gss_delete_sec_context(&minor, &gssContext_, GSS_C_NO_BUFFER);
    Velgrade* engine = SecurityContextTable::GetEngine();
    if (major != GSS_S_COMPLETE && engine != nullptr) {
      engine->Log(kLogContexts, "Error deleting context: major=0x%lX, minor=0x%lX.\n",
                  static_cast<unsigned long>(major), static_cast<unsigned long>(minor));
    }
    gssContext_ = GSS_C_NO_CONTEXT;
  } else {
    Velgrade* engine = SecurityContextTable::GetEngine();
    if (engine != nullptr) {
      engine->Log(kLogContexts, "Deleting security context for peer <%s> with no GSS context.\n", peerName_.Text());
    }
  }
}

bool SecurityContext::Init(const BinData& inToken, BinData& outToken, GString& errorText) {
  lastUsed_ = time(nullptr);
  outToken.SetLength(0);
  if (peerName_.IsEmpty()) {
    errorText = Velgrade::LoadMessage(2107);
    return false;
  }
  OM_uint32 minor = 0;
  gss_buffer_desc nameBuffer = InputOf(peerName_.Text(), peerName_.Size());
  ImportedName target;
  OM_uint32 major = gss_import_name(&minor, &nameBuffer, gss_nt_ldap_dn, target.Out());
  if (major != GSS_S_COMPLETE) {
    errorText = Velgrade::GetGssStatusText(major, minor);
    return false;
  }
  Velgrade* engine = SecurityContextTable::GetEngine();
  gss_cred_id_t credential = engine != nullptr ? engine->TouchCredential() : GSS_C_NO_CREDENTIAL;
  gss_ctx_id_t handle = gssContext_;
  gss_buffer_desc input = InputOf(inToken.GetData(), inToken.GetLength());
  LibraryBuffer output;
  OM_uint32 returnedFlags = 0;
  major = gss_init_sec_context(&minor, credential, &handle, target.Get(), gss_mech_spkm1, kRequestedFlags, 0,
                               GSS_C_NO_CHANNEL_BINDINGS, inToken.IsEmpty() ? GSS_C_NO_BUFFER : &input, nullptr,
                               output.Get(), &returnedFlags, nullptr);
  if (gssContext_ == GSS_C_NO_CONTEXT) {
    if (handle != GSS_C_NO_CONTEXT) {
      gssContext_ = handle;
      SecurityContextTable::AddContext(this);
    } else {
      AddRef();
    }
  }
  if (output.Length() != 0 && outToken.Assign(output.Bytes(), output.Length()) != 0) {
    errorText = Velgrade::LoadMessage(2111);
    return false;
  }
  if (major == GSS_S_COMPLETE) established_ = true;
  if (major == GSS_S_COMPLETE || major == GSS_S_CONTINUE_NEEDED) return true;
  errorText = Velgrade::GetGssStatusText(major, minor);
  return false;
}

bool SecurityContext::Wrap(const GString& part1, const GString& part2, const BinData& body, int confReq,
                           uint32_t qop, BinData& outToken, GString& errorText) {
  lastUsed_ = time(nullptr);
  BinData message;
  if (!SecureMessage::Build(part1, part2, body, message)) {
    errorText = Velgrade::LoadMessage(2111);
    return false;
  }
  outToken.SetLength(0);
  OM_uint32 minor = 0;
  int confState = 0;
  gss_buffer_desc input = InputOf(message.GetData(), message.GetLength());
  LibraryBuffer output;
  OM_uint32 major = gss_wrap(&minor, gssContext_, confReq, qop, &input, &confState, output.Get());
  message.Clear();
  if (major != GSS_S_COMPLETE) {
    errorText = Velgrade::GetGssStatusText(major, minor);
    return false;
  }
  if (output.Length() != 0 && outToken.Assign(output.Bytes(), output.Length()) != 0) {
    errorText = Velgrade::LoadMessage(2111);
    return false;
  }
  Velgrade* engine = SecurityContextTable::GetEngine();
  if ((confState == 0) != (confReq == 0) && engine != nullptr) {
    engine->Log(kLogTokens, "Warning: gss_wrap() encryption state not what was requested.\n");
  }
  return true;
}

bool SecurityContext::Unwrap(const BinData& token, GString& part1, GString& part2, BinData& body, int& confState,
                             uint32_t& qop, GString& errorText) {
  lastUsed_ = time(nullptr);
  OM_uint32 minor = 0;
  gss_qop_t qopState = 0;
  gss_buffer_desc input = InputOf(token.GetData(), token.GetLength());
  LibraryBuffer output;
  OM_uint32 major = gss_unwrap(&minor, gssContext_, &input, output.Get(), &confState, &qopState);
  qop = qopState;
  if (major != GSS_S_COMPLETE) {
    errorText = Velgrade::GetGssStatusText(major, minor);
    return false;
  }
  SecureMessage::Result result = SecureMessage::Parse(output.Bytes(), output.Length(), part1, part2, body);
  if (result != SecureMessage::kOk) {
    errorText = Velgrade::LoadMessage(static_cast<UINT>(result));
    return false;
  }
  return true;
}

int SecurityContext::AddRef() {
  CriticalSectionLock guard(lock_);
  return ++useCount_;
}

int SecurityContext::Release() {
  SecurityContextTable::Lock();
  lock_.Enter();
  int count = --useCount_;
  bool orphan = count <= 0 && !SecurityContextTable::Contains(gssContext_, this);
  if (count < 0) useCount_ = count = 0;
  lock_.Leave();
  SecurityContextTable::Unlock();
  if (orphan) {
    delete this;
    return 0;
  }
  return count;
}
