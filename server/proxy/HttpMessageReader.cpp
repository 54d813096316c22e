#include "server/proxy/HttpMessageReader.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "server/proxy/HttpHeader.h"

namespace vserver {

namespace {

size_t CountBlanks(const std::string& line) { return std::count(line.begin(), line.end(), ' '); }

bool ParseLength(const std::string& text, size_t& out) {
  if (text.empty() || text.size() > 18) return false;
  size_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  out = value;
  return true;
}

int StatusCode(const std::string& statusLine) {
  size_t blank = statusLine.find(' ');
  if (blank == std::string::npos || blank + 4 > statusLine.size()) return -1;
  int code = 0;
  for (size_t i = blank + 1; i < blank + 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(statusLine[i]))) return -1;
    code = code * 10 + (statusLine[i] - '0');
  }
  return code;
}

}  // namespace

HttpMessageReader::HttpMessageReader(Kind kind, size_t maxHeader, size_t maxBody)
    : kind_(kind), maxHeader_(maxHeader), maxBody_(maxBody) {}

HttpMessageReader::Status HttpMessageReader::Fail(const char* reason, bool tooLarge) {
  error_ = reason;
  tooLarge_ = tooLarge;
  status_ = Status::kError;
  return status_;
}

HttpMessageReader::Status HttpMessageReader::Feed(const char* bytes, size_t length) {
  if (status_ != Status::kNeedMore) return status_;
  if (!headDone_) {
    if (TakeHead(bytes, length) != Status::kNeedMore || !headDone_) return status_;
  }
  return TakeBody(bytes, length);
}

// Adds bytes to the head until the empty line that ends it; leaves bytes and
// length at what follows.
HttpMessageReader::Status HttpMessageReader::TakeHead(const char*& bytes, size_t& length) {
  size_t room = maxHeader_ - head_.size();
  size_t take = std::min(length, room);
  head_.append(bytes, take);
  // Look for LF (CR) LF from just before the new bytes.
  size_t from = scanned_ >= 2 ? scanned_ - 2 : 0;
  size_t firstEnd = head_.find('\n');
  for (size_t i = from; i < head_.size(); ++i) {
    if (head_[i] != '\n') continue;
    size_t end = 0;
    if (i == firstEnd && kind_ == Kind::kRequest && CountBlanks(head_.substr(0, i)) < 2) {
      end = i + 1;  // a request line without a version (HTTP/0.9) has no header
    } else {
      size_t next = i + 1;
      if (next < head_.size() && head_[next] == '\r') ++next;
      if (next >= head_.size() || head_[next] != '\n') continue;
      end = next + 1;
    }
    size_t unused = head_.size() - end;
    bytes += take - unused;
    length -= take - unused;
    head_.resize(end);
    return SplitHead(end);
  }
  scanned_ = head_.size();
  bytes += take;
  length -= take;
  if (head_.size() >= maxHeader_) return Fail("the header is too large", true);
  return status_;
}

HttpMessageReader::Status HttpMessageReader::SplitHead(size_t end) {
  size_t lineEnd = head_.find('\n');
  firstLine_ = head_.substr(0, lineEnd + 1);
  header_ = head_.substr(lineEnd + 1, end - lineEnd - 1);
  head_.clear();
  head_.shrink_to_fit();
  headDone_ = true;
  if (firstLine_.find_first_not_of(" \t\r\n") == std::string::npos)
    return Fail("the first line is empty");
  return DecideBodyLength();
}

HttpMessageReader::Status HttpMessageReader::DecideBodyLength() {
  std::string value;
  if (HttpHeader::GetField(header_, "Transfer-Encoding", value))
    return Fail("chunked or other transfer codings are not supported");
  bool hasLength = HttpHeader::GetField(header_, "Content-Length", value);
  if (hasLength && !ParseLength(value, bodyLength_)) return Fail("the Content-Length is not a number");
  if (kind_ == Kind::kResponse) {
    int code = StatusCode(firstLine_);
    if (code < 100) return Fail("the status line is not HTTP");
    if (answersHead_ || code < 200 || code == 204 || code == 304) {
      hasLength = true;
      bodyLength_ = 0;
    }
    untilClose_ = !hasLength;
  } else if (!hasLength) {
    bodyLength_ = 0;
  }
  if (!untilClose_ && bodyLength_ > maxBody_) return Fail("the body is too large", true);
  storage_.assign(frontRoom_, '\0');
  // A known length is stored at once, so the body can be received in place.
  if (!untilClose_ && presize_) storage_.resize(frontRoom_ + bodyLength_);
  if (!untilClose_ && bodyLength_ == 0) status_ = Status::kComplete;
  return status_;
}

HttpMessageReader::Status HttpMessageReader::TakeBody(const char* bytes, size_t length) {
  if (status_ != Status::kNeedMore || length == 0) return status_;
  if (untilClose_ || !presize_) {
    size_t take = untilClose_ ? length : std::min(length, bodyLength_ - filled_);
    if (take > maxBody_ - filled_) return Fail("the body is too large", true);
    storage_.append(bytes, take);
    filled_ += take;
    if (!untilClose_ && filled_ == bodyLength_) status_ = Status::kComplete;
    return status_;
  }
  size_t room = 0;
  char* space = BodySpace(room);
  size_t take = std::min(length, room);
  std::memcpy(space, bytes, take);
  return CommitBody(take);
}

char* HttpMessageReader::BodySpace(size_t& room) {
  room = 0;
  if (status_ != Status::kNeedMore || !headDone_ || untilClose_ || !presize_) return nullptr;
  room = bodyLength_ - filled_;
  return storage_.data() + frontRoom_ + filled_;
}

HttpMessageReader::Status HttpMessageReader::CommitBody(size_t length) {
  filled_ += std::min(length, bodyLength_ - filled_);
  if (filled_ == bodyLength_) status_ = Status::kComplete;
  return status_;
}

std::string_view HttpMessageReader::Body() const {
  if (storage_.size() < frontRoom_) return std::string_view();
  return std::string_view(storage_).substr(frontRoom_, filled_);
}

std::string HttpMessageReader::TakeBody(size_t& offset) {
  offset = frontRoom_;
  storage_.resize(std::min(storage_.size(), frontRoom_ + filled_));
  filled_ = 0;
  return std::move(storage_);
}

char* HttpMessageReader::FrontOfBody(size_t length) {
  if (length > frontRoom_ || storage_.size() < frontRoom_) return nullptr;
  return storage_.data() + frontRoom_ - length;
}

HttpMessageReader::Status HttpMessageReader::FinishInput() {
  if (status_ != Status::kNeedMore) return status_;
  if (headDone_ && untilClose_) {
    status_ = Status::kComplete;
    return status_;
  }
  return Fail(headDone_ ? "the connection closed before the whole body arrived"
                        : "the connection closed before the header was complete");
}

}  // namespace vserver
