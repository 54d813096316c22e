#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "engine/Velgrade.h"
#include "platform/ResourceStrings.h"

namespace {

constexpr size_t kLineSize = 8192;

// Formats a string-table message (itself a printf format) into buffer; a
// missing message gives a fallback naming its number.
void FormatMessage(char* buffer, size_t size, UINT id, va_list args) {
  GString format;
  if (LoadResourceText(format, id)) {
    std::vsnprintf(buffer, size, format.Text(), args);
  } else {
    std::snprintf(buffer, size, "*** Error loading message number %u", id);
  }
}

}  // namespace

void Velgrade::Log(DWORD category, const char* format, ...) {
  if (category != kLogAlways && (logMask_ & category) == 0) return;
  // Without a receiver the line would only be formatted and thrown away.
  if (callbacks_.log == nullptr) return;
  char line[kLineSize];
  char stamp[33];
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  if (std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M.%S", &local) == 0) stamp[0] = '\0';
  int prefix = std::snprintf(line, sizeof line, "Velgrade: @%s ", stamp);
  if (prefix < 0) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(line + prefix, sizeof line - static_cast<size_t>(prefix), format, args);
  va_end(args);
  callbacks_.log(line, callbackContext_);
}

void Velgrade::ShowMessageV(UINT id, int kind, va_list args) {
  char text[kLineSize];
  FormatMessage(text, sizeof text, id, args);
  if (callbacks_.message != nullptr) callbacks_.message(text, callbackContext_, kind);
}

void Velgrade::ShowMessage(UINT id, ...) {
  va_list args;
  va_start(args, id);
  ShowMessageV(id, kMessageError, args);
  va_end(args);
}

void Velgrade::ShowWarning(UINT id, ...) {
  va_list args;
  va_start(args, id);
  ShowMessageV(id, kMessageWarning, args);
  va_end(args);
}

GString Velgrade::LoadMessage(UINT id, ...) {
  char text[kLineSize];
  va_list args;
  va_start(args, id);
  FormatMessage(text, sizeof text, id, args);
  va_end(args);
  return GString(text);
}

GString Velgrade::GetSocketErrorText(int code) {
  GString text;
  text.Format("%d", code);
  if (code >= 10000 && code < 12048) {
    char entry[65];
    if (LoadStringA(GetResourceInstance(), static_cast<UINT>(code), entry, sizeof entry) > 0) {
      text += " (";
      text += entry;
      text += ")";
    }
  }
  return text;
}

const char* Velgrade::TokenTypeName(int type) {
  switch (type) {
    case 1: return "INIT";
    case 2: return "ACCEPT";
    case 3: return "ERROR";
    case 5: return "WRAP";
    default: return "*Unknown*";
  }
}
