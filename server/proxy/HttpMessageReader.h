#pragma once

#include <cstddef>
#include <string>

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

  // Takes received bytes. Bytes after a complete message are ignored.
  Status Feed(const char* bytes, size_t length);
  // The peer closed: completes a response read to its end, fails anything cut.
  Status FinishInput();

  Status GetStatus() const { return status_; }
  const std::string& FirstLine() const { return firstLine_; }
  const std::string& Header() const { return header_; }
  std::string& Body() { return body_; }
  const std::string& Body() const { return body_; }
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
  std::string body_;
  std::string error_;
  bool tooLarge_ = false;
};

}  // namespace vserver
