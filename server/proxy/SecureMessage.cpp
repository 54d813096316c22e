#include "server/proxy/SecureMessage.h"

namespace vserver {

namespace {

void PutLength(char* out, size_t at, uint32_t value) {
  out[at] = static_cast<char>(value >> 24);
  out[at + 1] = static_cast<char>(value >> 16);
  out[at + 2] = static_cast<char>(value >> 8);
  out[at + 3] = static_cast<char>(value);
}

uint32_t GetLength(const uint8_t* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | at[3];
}

}  // namespace

bool SecureMessage::Build(std::string_view part1, std::string_view part2, std::string_view body,
                          std::string& out) {
  if (part1.size() > UINT32_MAX || part2.size() > UINT32_MAX) return false;
  out.assign(kHeaderLength, '\0');
  out.reserve(kHeaderLength + part1.size() + part2.size() + body.size());
  WriteHeader(part1.size(), part2.size(), out.data());
  out.append(part1);
  out.append(part2);
  out.append(body);
  return true;
}

void SecureMessage::WriteHeader(size_t length1, size_t length2, char* out) {
  out[0] = static_cast<char>(kHeaderLength);
  out[1] = 0;
  out[2] = 0;
  out[3] = 0;
  PutLength(out, 4, static_cast<uint32_t>(length1));
  PutLength(out, 8, static_cast<uint32_t>(length2));
}

SecureMessage::ParseResult SecureMessage::Parse(const uint8_t* data, size_t length,
                                                std::string_view& part1, std::string_view& part2,
                                                std::string_view& body) {
  if (data == nullptr || length < kHeaderLength) return ParseResult::kNoData;
  if (data[1] != 0) return ParseResult::kWrongVersion;
  size_t start = data[0];
  if (start > length) return ParseResult::kCorrupted;
  size_t rest = length - start;
  size_t length1 = GetLength(data + 4);
  size_t length2 = GetLength(data + 8);
  if (length1 > rest || length2 > rest || length1 + length2 > rest) return ParseResult::kCorrupted;
  const char* text = reinterpret_cast<const char*>(data);
  part1 = std::string_view(text + start, length1);
  part2 = std::string_view(text + start + length1, length2);
  body = std::string_view(text + start + length1 + length2, rest - length1 - length2);
  return ParseResult::kOk;
}

const char* SecureMessage::ErrorText(ParseResult result) {
  switch (result) {
    case ParseResult::kOk:
      return "";
    case ParseResult::kNoData:
      return "Received security token contains no data.";
    case ParseResult::kWrongVersion:
      return "Incompatible Velgrade version used.";
    case ParseResult::kCorrupted:
      break;
  }
  return "Received security token contains corrupted data.";
}

}  // namespace vserver
