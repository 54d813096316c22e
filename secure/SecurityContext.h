#pragma once

#include <cstdint>
#include <ctime>

#include "common/BinData.h"
#include "common/GString.h"
#include "platform/CriticalSection.h"
#include "session/GssApi.h"

// One security context between this proxy (the initiator) and a server
// proxy, with the site it protects and the command under which its tokens
// are posted.
//
// Always created on the heap. Deleted only by Release (when no reference and
// no table entry remain), by SecurityContextTable::Remove or by
// SecurityContextTable::PurgeStale. Contexts are used from the engine's
// polling thread; useCount is guarded by the context's own lock.
class SecurityContext {
 public:
  // peerName is the server's distinguished name (the target name); command
  // the request line, with its CR LF, for every token of this context.
  SecurityContext(const GString& peerName, const GString& command);
  virtual ~SecurityContext();

  SecurityContext(const SecurityContext&) = delete;
  SecurityContext& operator=(const SecurityContext&) = delete;

  // One initiator step: inToken (empty for the first step) in, outToken out.
  // True when the step succeeded, complete or needing another; errorText is
  // set otherwise. The first step enters the context in the table, leaving
  // one reference held for the creator.
  bool Init(const BinData& inToken, BinData& outToken, GString& errorText);

  // Wraps the secure message of the three parts into outToken.
  bool Wrap(const GString& part1, const GString& part2, const BinData& body, int confReq, uint32_t qop,
            BinData& outToken, GString& errorText);

  // Unwraps token into the three parts; confState and qop receive what the
  // session library reported (qop also on failure). The caller judges them.
  bool Unwrap(const BinData& token, GString& part1, GString& part2, BinData& body, int& confState,
              uint32_t& qop, GString& errorText);

  // Reference counting; both return the count afterwards. Release deletes
  // the context when the count reaches 0 and it is no longer in the table.
  int AddRef();
  int Release();

  time_t GetLastUsed() const { return lastUsed_; }
  gss_ctx_id_t GetGssContext() const { return gssContext_; }
  const GString& GetPeerName() const { return peerName_; }
  const GString& GetPeerNameBase64() const { return peerNameBase64_; }
  const GString& GetCommand() const { return command_; }
  const GString& GetHost() const { return host_; }
  int GetPort() const { return port_; }
  void SetSite(const GString& host, int port) {
    host_ = host;
    port_ = port;
  }
  int GetUseCount() const { return useCount_; }
  // True once an initiator step reported the context complete.
  bool IsEstablished() const { return established_; }

  // Tests age a context without waiting.
  void SetLastUsed(time_t when) { lastUsed_ = when; }

 private:
  friend class SecurityContextTable;

  time_t lastUsed_ = 0;
  gss_ctx_id_t gssContext_ = GSS_C_NO_CONTEXT;
  GString peerName_;
  GString peerNameBase64_;
  GString command_;
  GString host_;
  int port_ = 0;
  int useCount_ = 0;
  bool established_ = false;
  CriticalSection lock_;
};
