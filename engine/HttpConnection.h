#pragma once

#include <cstdint>

#include "common/BinData.h"
#include "common/GString.h"
#include "platform/WinSock.h"

#include <netinet/in.h>

class Velgrade;

// One end of a proxied exchange: a TCP socket (or none, for an internal
// request) with the HTTP/1.0 message being read or written on it. It frames
// messages, sends queued bytes as far as the socket accepts them and reports
// failures as text; it never blocks and knows nothing about security.
//
// The connection owns its socket and closes it on destruction. Every
// constructor records the engine in a process-wide pointer, through which the
// socket options and the log are reached; the engine must outlive it.
class HttpConnection {
 public:
  enum State : int {
    kCreateFailed = -1,
    kConnectAgain = 0,    // connect in progress, must be repeated
    kConnecting = 1,      // connect issued, waiting for writability
    kSendingRequest = 2,  // sending first line, header, data
    kReadingHeader = 3,   // reading first line and header
    kHeaderComplete = 4,  // deciding the body length
    kReadingBody = 5,
    kComplete = 6,        // a request received, or a response received
    kSendingResponse = 7,
    kResponseSent = 8,
  };

  // The size of one receive.
  static constexpr int kReceiveSize = 32768;
  // At most this much of the data joins the first line and header in one
  // send.
  static constexpr size_t kGatherLimit = 65536;
  // The largest body a message may carry.
  static constexpr uint32_t kBodyLimit = 0xFFFFFBFF;

  // A connection the engine accepted from a browser; it takes the socket.
  // Starts reading a request.
  HttpConnection(Velgrade* engine, winsock::SOCKET socket, const sockaddr_in& peer);

  // A connection to destination. On failure error receives the text
  // (messages 2099 to 2102) and the state stays kCreateFailed.
  HttpConnection(Velgrade* engine, const sockaddr_in& destination, GString& error);

  // An internal connection without a socket holding a complete request: the
  // request line (with its line end) and the body.
  HttpConnection(Velgrade* engine, const char* requestLine, const BinData& body);

  virtual ~HttpConnection();

  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Adds the socket to the sets its state waits on; raises largest.
  void AddToFdSets(winsock::SOCKET& largest, winsock::FdSet& read, winsock::FdSet& write,
                   winsock::FdSet& except) const;

  // Does the I/O the sets allow. False when the connection has failed or
  // ended; error then holds the reason (or is empty when there is none).
  bool Process(const winsock::FdSet& read, const winsock::FdSet& write, const winsock::FdSet& except,
               GString& error);

  // Queues a response: header becomes the whole header text, body (may be
  // null) the data unless the request being answered is a HEAD request.
  void SendResponse(const char* header, const BinData* body);

  // Queues a token message: requestLine (may be null) becomes the first line,
  // the header names its type and length, the token becomes the data; the
  // state becomes newState unless that is -2.
  void SendToken(const char* requestLine, const BinData& token, int tokenType, int newState);

  // Rewrites the first line to HTTP/1.0. False with error set when it cannot.
  bool Downgrade(bool isRequest, GString& error);

  // Removes the Connection and Proxy-Connection lines from the header.
  void StripConnectionHeaders();

  // The request URI: the text after the first blank of the first line, cut
  // before the next blank, trimmed. False when the first line has no blank.
  bool GetRequestUri(GString& uri) const;

  // The pending error of a socket; error (may be null) receives message 2098.
  static int GetSocketError(winsock::SOCKET socket, GString* error);

  // The header without every line whose name matches field.
  static GString RemoveHeaderField(const GString& header, const char* field);

  const GString& GetPeer() const { return peer_; }
  winsock::SOCKET GetSocket() const { return socket_; }
  int GetState() const { return state_; }
  void SetState(int state) { state_ = state; }
  GString& FirstLine() { return firstLine_; }
  const GString& FirstLine() const { return firstLine_; }
  GString& Header() { return header_; }
  const GString& Header() const { return header_; }
  BinData& Data() { return data_; }
  const BinData& Data() const { return data_; }
  long GetContentLength() const { return contentLength_; }
  void SetContentLength(long length) { contentLength_ = length; }
  int IsSimpleRequest() const { return simpleRequest_; }
  int ReadsResponses() const { return readsResponses_; }
  int ExpectsBody() const { return expectsBody_; }
  // True when the peer closed a response before its header ended.
  bool IsTruncated() const { return truncated_; }
  // True for an internal connection (one without a socket).
  bool IsInternal() const { return socket_ == winsock::INVALID_SOCKET && state_ != kCreateFailed; }

  // Feeds received bytes to the reading states as one receive would; n = 0
  // means the peer closed. Returns what DoRead would. Used by the receive
  // path and by the framing tests.
  bool ConsumeReceived(const char* bytes, int n);

  // Test seam: the function every send goes through (null restores the
  // socket's own). It returns the count sent, or -1 with the WSA error set.
  using SendFunction = int (*)(winsock::SOCKET socket, const char* bytes, int length);
  static void SetSendFunction(SendFunction function);

 private:
  void ApplySocketOptions(bool failuresAreFatal, GString& error);
  bool DoSend(bool inExceptSet, GString& error);
  bool DoRead(bool inExceptSet, bool inReadSet, GString& error);
  bool SendPending(GString& error);
  int SendHeadTogether();
  bool FinishSend(bool sent, int n, GString& error);
  int SendWithBackoff();
  void ReadHeaderBytes(const char*& bytes, int& n);
  void DecideLength();
  void AppendBody(const char* bytes, int n);
  static bool HasHeaderEnd(const GString& header);

  GString peer_;
  int expectsBody_ = 0;
  int readsResponses_ = 0;
  int simpleRequest_ = 0;
  GString firstLine_;
  BinData data_;
  long contentLength_ = 0;
  bool truncated_ = false;
  GString header_;
  sockaddr_in destination_{};
  winsock::SOCKET socket_ = winsock::INVALID_SOCKET;
  int state_ = kCreateFailed;

  static Velgrade* engine_;
};
