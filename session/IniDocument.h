#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace session {

// An INI text as the program's long-value reader understands it: "[section]"
// headers, "key=value" lines, and values continued on the lines that directly
// follow their key line and begin with "_continue_=". Everything from a ";"
// on is a comment. Section and key names compare without regard to letter
// case; values are trimmed at both ends.
//
// Text is fed in pieces of any size (Feed, then Finish); the result does not
// depend on where the pieces were cut. Serialize writes long values as a key
// line and continuation lines of at most kPieceLength characters, so every
// line stays far below the reader's 2048-character limit.
class IniDocument {
 public:
  static constexpr size_t kPieceLength = 64;
  // A document larger than this is refused (Feed returns false).
  static constexpr size_t kMaxTextLength = 1 << 20;

  // Adds text; false when the document grows past kMaxTextLength (the
  // document is then unusable until Clear).
  bool Feed(const char* text, size_t length);
  // Ends the text: a last line without a line end counts.
  void Finish();
  // Feed + Finish of a whole text.
  bool Parse(const char* text, size_t length);
  void Clear();

  // The value of key in section, or false when there is none.
  bool Get(const char* section, const char* key, std::string& value) const;
  // Sets the value, adding the section and the key at their ends when new.
  // Values must not contain line ends or ";" (the reader would cut them).
  void Set(const char* section, const char* key, const std::string& value);

  std::string Serialize() const;

 private:
  using Entry = std::pair<std::string, std::string>;
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };

  void TakeLine(std::string line);
  Section* FindSection(const char* name);
  const Section* FindSection(const char* name) const;

  std::vector<Section> sections_;
  std::string pending_;
  size_t fed_ = 0;
  bool overflow_ = false;
  // The key that continuation lines extend: indexes into sections_, or -1.
  long continueSection_ = -1;
  long continueEntry_ = -1;
};

}  // namespace session
