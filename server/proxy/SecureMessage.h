#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vserver {

// The plaintext inside every wrapped token: a 12-byte header (its own
// length, format version 0, two reserved bytes, the lengths of part 1 and
// part 2 most significant byte first), part 1 (a request or status line),
// part 2 (its header lines), then the body.
class SecureMessage {
 public:
  enum class ParseResult { kOk, kNoData, kWrongVersion, kCorrupted };

  static constexpr size_t kHeaderLength = 12;

  // Writes the message for the three parts into out (replacing it). False
  // when a part is longer than its 32-bit length field allows.
  static bool Build(std::string_view part1, std::string_view part2, std::string_view body,
                    std::string& out);

  // Writes the 12-byte header for parts of these lengths (each at most
  // 4 GiB - 1) into out.
  static void WriteHeader(size_t length1, size_t length2, char* out);

  // Splits a received plaintext into views of its three parts (they point
  // into data). The header's own length says where part 1 starts.
  static ParseResult Parse(const uint8_t* data, size_t length, std::string_view& part1,
                           std::string_view& part2, std::string_view& body);

  // The text the peer shows for a refused plaintext.
  static const char* ErrorText(ParseResult result);
};

}  // namespace vserver
