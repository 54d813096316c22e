#pragma once

#include "common/BinData.h"
#include "common/GString.h"
#include "engine/HttpConnection.h"
#include "engine/Transaction.h"
#include "engine/Velgrade.h"

class SecurityContext;

// One transaction: a browser request (or an internal request of the engine)
// and its answer. It reads the request on the browser side, sends it on to
// the origin host or the chain proxy, and relays the answer back, or answers
// with an error page when it cannot.
//
// The transaction owns both connections. The engine owns the transaction and
// deletes it once AddToFdSets or ProcessStep answers false.
class ProxyInfo : public Transaction {
 public:
  // How the answer is handled once its header has arrived.
  enum ResponseMode : int { kUndecided = 0, kRelay = 1, kSecure = 2 };

  // A browser transaction on an accepted socket (ownership taken).
  ProxyInfo(Velgrade& engine, winsock::SOCKET socket, const sockaddr_in& peer);

  // An internal request: the request line (with its line end) and body are
  // sent at once; the answer goes to completion (may be null) with argument.
  ProxyInfo(Velgrade& engine, const char* requestLine, const BinData& body, CompletionRoutine completion,
            void* argument, int skipSiteLookup);

  ~ProxyInfo() override;

  ProxyInfo(const ProxyInfo&) = delete;
  ProxyInfo& operator=(const ProxyInfo&) = delete;

  bool AddToFdSets(winsock::SOCKET& largest, winsock::FdSet& read, winsock::FdSet& write,
                   winsock::FdSet& except) override;
  bool ProcessStep(const winsock::FdSet& read, const winsock::FdSet& write,
                   const winsock::FdSet& except) override;
  bool IsSecure() const override { return ctx_ != nullptr; }

  // Decides where the complete browser request goes and sends it there, or
  // answers with an error page.
  void ProcessClientRequest(int skipSiteLookup);

  // Connects to the chain proxy, or else to the request's host, and queues
  // the command there; with copyRequest the browser's header and body too.
  void OpenServerConnection(bool copyRequest);

  // Builds a new security context for the site at host and port, whose
  // server is serverDn and takes its tokens at secureUrl, dropping the
  // transaction's old one, and posts the first token. False with errorText
  // when the user cannot sign on or the context cannot be started.
  bool Reauthenticate(const GString& host, int port, const GString& secureUrl, const GString& serverDn,
                      GString& errorText);

  // The request line under which a context's tokens are posted: the path of
  // secureUrl, or through a chain proxy its absolute form.
  static GString BuildContextCommand(const GString& secureUrl, bool throughChainProxy, const GString& host,
                                     int port);

  // Acts on a complete answer of the server side that is not relayed as it
  // arrives: a token, a site announcement, text on a secure channel or a
  // plain answer. False when the transaction is finished.
  bool HandleServerResponse();

  // Acts on a token from the server proxy. oldContext (may be null) is set
  // when the token names no context of ours. False with errorText when the
  // token is refused.
  bool HandleReceivedToken(const BinData& token, const GString& peer, GString& errorText, int* oldContext);
  bool HandleAcceptToken(const BinData& token, GString& errorText);
  bool HandleWrapToken(const BinData& token, GString& errorText);

  // True when body begins as a GIF or JPEG image of that content type must;
  // false for every other content type.
  static bool SniffImage(const BinData& body, const GString& contentType);

  // The request line with its absolute URL cut to the path ("GET /a HTTP/1.0").
  static bool MakeOriginCommand(const GString& requestLine, GString& command);
  // Host and port (80 when none is given) of an absolute URL.
  static bool ParseHostPort(const GString& url, GString& host, int& port);

  // The pages of a failed transaction; each deletes the server side.
  void SendBrowserErrorPage(const char* reason);
  void SendAlertErrorPage(const char* message);
  void SendHistoryBackPage();
  // Also drops the transaction's security context. extraLine may be null.
  void SendSecurityErrorPage(const char* reason, const char* extraLine);

  // How the engine creates transactions of this class.
  static TransactionFactory GetFactory();

 private:
  bool ProcessResponse(const winsock::FdSet& read, const winsock::FdSet& write,
                       const winsock::FdSet& except);
  void FailServerSide(const GString& error);
  bool DecideResponseMode();
  bool PassesImageCheck(const GString& contentType);
  bool RelayResponse();
  void FollowAnnouncement(const GString& announcement);
  SecurityContext* FindUsableContext(const GString& host, int port);
  void SendWrappedRequest(bool sign);
  // The toolkit's protection of data (see FormSigning::SignData); a toolkit
  // failure is shown to the user and leaves output empty.
  bool SignData(const void* data, size_t length, GString& output, bool sign);
  // Puts the hidden signing field into the form of a page marked for it.
  void MarkPageForSigning();
  void SendTokenToServer(const BinData& token, int type);
  void MoveBodyToBrowser();
  void DeleteServerSide();
  void SendPage(const GString& head, const GString& body);
  void SendPageWithoutBody(const GString& head);

  // The answer of the first data of a clear response on a protected site
  // must still be checked.
  int sniffPending_ = 0;
  int responseMode_ = kUndecided;
  // The user agreed to submit this request's form signed.
  bool signingConfirmed_ = false;
  // Base64 text of the client information header.
  GString clientInfo_;
  // The browser side (or the internal request); owned, never null.
  HttpConnection* in_ = nullptr;
  // The security context in use, with one reference held; null for a plain
  // site.
  SecurityContext* ctx_ = nullptr;
  // The server side (origin host or chain proxy); owned, or null.
  HttpConnection* out_ = nullptr;
  CompletionRoutine completion_ = nullptr;
  void* completionArg_ = nullptr;
  // The engine that lists this transaction; it outlives it.
  Velgrade& engine_;
};
