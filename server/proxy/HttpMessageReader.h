#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vserver {

// Frames one HTTP/1.0 message (a request from a client proxy, or a response
// from the origin) from bytes fed in pieces of any size; the result does not
// depend on where the pieces were cut. The first line keeps its line end; the
// header keeps every line end, including the empty line that closes it.
//
// Bounded: a first line and header longer than maxHeader, or a body longer
// than maxBody, is an error, never a growing buffer. A request body is what
// Content-Length announces (none without it); a response body ends at its
// Content-Length or, without one, when the peer closes. Chunked transfer
// coding is refused: both sides speak HTTP/1.0.
class HttpMessageReader {
 public:
  enum class Kind { kRequest, kResponse };
  enum class Status { kNeedMore, kComplete, kError };

  HttpMessageReader(Kind kind, size_t maxHeader, size_t maxBody);

  // A response to a HEAD request carries no body.
  void SetAnswersHead(bool answersHead) { answersHead_ = answersHead; }
  // Keeps room bytes free in front of the body, so a caller can put its own
  // framing there and use framing and body as one block (FrontOfBody).
  // Before the first Feed.
  void SetBodyFrontRoom(size_t room) { frontRoom_ = room; }
  // Whether a body of announced length is allocated whole as soon as its
  // length is known (so it can be received in place), or grows with what
  // arrives (for untrusted peers that may announce more than they send).
  // On by default; before the first Feed.
  void SetPresize(bool presize) { presize_ = presize; }

  // Takes received bytes. Bytes after a complete message are ignored.
  Status Feed(const char* bytes, size_t length);
  // The peer closed: completes a response read to its end, fails anything cut.
  Status FinishInput();

  Status GetStatus() const { return status_; }
  const std::string& FirstLine() const { return firstLine_; }
  const std::string& Header() const { return header_; }
  std::string_view Body() const;
  // Hands over the storage; the body starts at offset in it. The reader is
  // spent afterwards.
  std::string TakeBody(size_t& offset);
  // The length bytes right in front of the body (within the front room),
  // or null when the room is smaller.
  char* FrontOfBody(size_t length);

  // Receiving in place: where the next body bytes of a message of known
  // length go and how many still fit (null and 0 when the body is not being
  // read so), then how many were written there.
  char* BodySpace(size_t& room);
  Status CommitBody(size_t length);
  // Why the message was refused; tooLarge when a limit was passed.
  const std::string& GetError() const { return error_; }
  bool IsTooLarge() const { return tooLarge_; }

 private:
  Status Fail(const char* reason, bool tooLarge = false);
  Status TakeHead(const char*& bytes, size_t& length);
  Status SplitHead(size_t end);
  Status DecideBodyLength();
  Status TakeBody(const char* bytes, size_t length);

  Kind kind_;
  size_t maxHeader_;
  size_t maxBody_;
  bool answersHead_ = false;
  Status status_ = Status::kNeedMore;
  bool headDone_ = false;
  bool untilClose_ = false;
  size_t bodyLength_ = 0;
  size_t scanned_ = 0;
  std::string head_;
  std::string firstLine_;
  std::string header_;
  // The front room, then the body (filled_ bytes of it so far).
  std::string storage_;
  size_t frontRoom_ = 0;
  bool presize_ = true;
  size_t filled_ = 0;
  std::string error_;
  bool tooLarge_ = false;
};

}  // namespace vserver
