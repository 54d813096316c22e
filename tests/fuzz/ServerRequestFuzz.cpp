// The server's parsers on arbitrary bytes: a request and a response framed
// whole and split at a point taken from the input must agree; the framed
// parts then go through the request and answer shaping and the secure
// message reader.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <string>
#include <string_view>

#include "server/proxy/HttpMessageReader.h"
#include "server/proxy/RequestClassifier.h"
#include "server/proxy/SecureMessage.h"
#include "server/proxy/ServerConfig.h"

using vserver::HttpMessageReader;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void FrameBothWays(HttpMessageReader::Kind kind, std::string_view text, size_t cut) {
  HttpMessageReader whole(kind, 4096, 4096);
  HttpMessageReader split(kind, 4096, 4096);
  split.SetBodyFrontRoom(16);
  whole.Feed(text.data(), text.size());
  split.Feed(text.data(), cut);
  // The rest goes into the body space where the reader offers one.
  std::string_view rest = text.substr(cut);
  size_t room = 0;
  char* space = split.BodySpace(room);
  if (space != nullptr && room != 0 && !rest.empty()) {
    size_t take = std::min(room, rest.size());
    std::memcpy(space, rest.data(), take);
    split.CommitBody(take);
    rest.remove_prefix(take);
  }
  split.Feed(rest.data(), rest.size());
  whole.FinishInput();
  split.FinishInput();
  Check(whole.GetStatus() == split.GetStatus());
  Check(whole.FirstLine() == split.FirstLine());
  Check(whole.Header() == split.Header());
  Check(whole.Body() == split.Body());
  if (whole.GetStatus() != HttpMessageReader::Status::kComplete) return;

  vserver::ServerConfig config;
  config.noEncryptTypes = "image/gif ";
  config.noEncryptDirs[0] = "/pub/";
  std::string head;
  std::string error;
  std::string line;
  std::string header;
  if (kind == HttpMessageReader::Kind::kRequest) {
    vserver::RequestClassifier::IsTokenMessage(whole.FirstLine(), whole.Header());
    vserver::RequestClassifier::OriginRequestHead(whole.FirstLine(), whole.Header(),
                                                  whole.Body().size(), head, error);
    vserver::RequestClassifier::MatchesPath(whole.FirstLine(), {"/logoff"});
  } else {
    vserver::RequestClassifier::ClientResponseHead(whole.FirstLine(), whole.Header(),
                                                   whole.Body().size(), false, "", line, header);
    std::string type(whole.Body().substr(0, 64));
    vserver::RequestClassifier::MustWrap(&type, whole.FirstLine(), config);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t cut = text.empty() ? 0 : data[0] % (text.size() + 1);
  FrameBothWays(HttpMessageReader::Kind::kRequest, text, cut);
  FrameBothWays(HttpMessageReader::Kind::kResponse, text, cut);
  std::string_view part1;
  std::string_view part2;
  std::string_view body;
  if (vserver::SecureMessage::Parse(data, size, part1, part2, body) ==
      vserver::SecureMessage::ParseResult::kOk) {
    Check(part1.size() + part2.size() + body.size() + data[0] == size);
    std::string rebuilt;
    Check(vserver::SecureMessage::Build(part1, part2, body, rebuilt));
  }
  return 0;
}
