#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Win32Types.h"

// The Win32 profile (INI file) functions.
//
// File format: lines of text ending in LF or CR LF. A section header is a
// line whose first non-blank character is '['; its name is the text up to the
// last ']' of the line (to the line end when there is none), blanks removed at
// both ends. A key line is a line inside a section that contains '=' and does
// not begin with ';': the key is the text before the first '=', the value the
// text after it, both without blanks at either end; a value enclosed in a
// matching pair of double or single quotes loses them when read. A ';' inside
// a value is part of it. Lines starting with ';', blank lines and other lines
// are kept as they are by every write. Section and key names compare without
// regard to letter case (ASCII); when a name occurs twice, the first one
// counts. A UTF-8 byte order mark at the start of the file is ignored.
//
// A file name without a '/' names a file in the Windows folder
// (GetWindowsDirectory). A missing or unreadable file, or one larger than
// kProfileFileLimit, reads as an empty file. Writes rewrite the whole file
// atomically (WriteFileAtomically), so that a failure or a crash leaves the
// old file whole; a file that exists but cannot be read is never replaced.
// Calls from several threads of this process are serialised.

constexpr size_t kProfileFileLimit = 4 * 1024 * 1024;

// The integer value of a key: optional blanks, an optional sign and the
// decimal digits that follow ("12abc" is 12, "-3" is the two's complement of
// 3), saturated to the range of int. A key that is missing, or whose value
// holds no leading digits, gives defaultValue.
UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* file);

// Copies the value of a key into out (size characters including the
// terminator), or defaultValue (null meaning "", trailing blanks removed) when
// the key is missing; a value that does not fit is cut to size - 1 characters.
// Returns the number of characters copied, without the terminator.
// A null key copies the names of the section's keys and a null section the
// names of all sections, each name followed by a zero and the list by one more
// zero; a list that does not fit is cut and ends in two zeros, and the result
// is then size - 2. Returns 0 when out is null or size is 0.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* out,
                               DWORD size, const char* file);

// Sets a key to value ("key=value"), replacing the key's first line in the
// section or adding one after the section's last non-blank line; a missing
// section is appended at the end of the file, a missing file is created. A null
// value removes every line of the key in the section; a null key removes every
// section of that name with all its lines. Returns FALSE when the section is
// null (nothing to write), when a name or value would not read back as given
// (a line break anywhere, '=' in the key, ']' in the section name, a key that
// starts with '[' or ';' or is empty), or when the file cannot be read or
// rewritten; the file is then unchanged.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file);

// The text of one profile file as a list of lines, as the functions above read
// and change it. Parsing never fails: any bytes form some document.
class ProfileDocument {
 public:
  void Parse(std::string_view text);
  // The document as text: every line followed by the line end the parsed text
  // used ("\r\n" when its first line ended so, else "\n").
  std::string Serialize() const;

  // True when the key exists in the section; value receives it, unquoted.
  bool FindValue(std::string_view section, std::string_view key, std::string& value) const;
  // Section names in file order, each name once.
  std::vector<std::string> SectionNames() const;
  // Key names of the section in file order, each name once.
  std::vector<std::string> KeyNames(std::string_view section) const;

  void SetValue(std::string_view section, std::string_view key, std::string_view value);
  void DeleteKey(std::string_view section, std::string_view key);
  void DeleteSection(std::string_view section);

 private:
  // The first line of the first section of that name and the end of its lines;
  // first == lines_.size() when there is none.
  struct Range {
    size_t first;
    size_t end;
  };
  Range FindSection(std::string_view section, size_t from = 0) const;
  size_t SectionEnd(size_t header) const;
  std::string_view LineText(size_t index) const;

  std::vector<std::string> lines_;
  std::string lineEnd_ = "\n";
};
