#pragma once

#include <string>

// Reads a password for the admin tool from a file or from standard input,
// never from the command line. The text is the first line (without its line
// end). Holders wipe it with Wipe before it goes away.
class PasswordInput {
 public:
  // False with a message in error when the source cannot be read or gives an
  // empty password.
  static bool FromFile(const std::string& path, std::string& password, std::string& error);
  static bool FromStandardInput(std::string& password, std::string& error);

  // Overwrites the characters, then empties the string.
  static void Wipe(std::string& password);

 private:
  static bool TakeFirstLine(std::string& text, std::string& password, std::string& error);
};
