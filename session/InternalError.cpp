#include "session/InternalError.h"

#include <openssl/err.h>

namespace session {

namespace {

thread_local std::vector<std::string> internalLines;

}  // namespace

void InternalError::Record(const char* what) {
  internalLines.clear();
  internalLines.emplace_back(what);
  unsigned long code;
  while ((code = ERR_get_error()) != 0) {
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    internalLines.emplace_back(text);
  }
}

const std::vector<std::string>& InternalError::Lines() { return internalLines; }

}  // namespace session
