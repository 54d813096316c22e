#include "secure/ErrorPages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/Velgrade.h"
#include "platform/ResourceStrings.h"

namespace {

constexpr char kProxyAgent[] = "Proxy-agent: Velgrade\r\n";
constexpr char kHtmlType[] = "Content-type: text/html\r\n";

// A string-table text (with its continuations); empty when missing.
GString Resource(UINT id) {
  GString text;
  LoadResourceText(text, id);
  return text;
}

// printf into a string of any length: pages quote the browser's whole header.
GString FormatAny(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int needed = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  GString text;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    text = GString(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(again);
  return text;
}

}  // namespace

const GString& ErrorPages::ProxyKind() {
  static const GString kind = Resource(2096);
  return kind;
}

void ErrorPages::BuildBrowserError(const Origin& origin, const GString& requestLine,
                                   const GString& header, const char* reason, GString& head,
                                   GString& body) {
  head = Resource(2123) + kProxyAgent + kHtmlType + "\r\n";
  body = FormatAny(Resource(2076).Text(), origin.proxyKind.Text(), origin.address.Text(), origin.port,
                   requestLine.Text(), header.Text(), reason != nullptr ? reason : "");
}

void ErrorPages::BuildSecurityError(const Origin& origin, const char* reason, const char* extraLine,
                                    GString& head, GString& body) {
  head = Resource(2120) + kProxyAgent + kHtmlType;
  if (extraLine != nullptr && extraLine[0] != '\0') head = head + extraLine + "\r\n";
  head += "\r\n";
  body = FormatAny(Resource(2091).Text(), origin.proxyKind.Text(), origin.address.Text(), origin.port,
                   reason != nullptr ? reason : "");
}

void ErrorPages::BuildAlert(const Origin& origin, const char* message, GString& head, GString& body) {
  head = Resource(2114) + kProxyAgent + kHtmlType + "\r\n";
  body = FormatAny(Resource(2093).Text(), message, origin.proxyKind.Text(), origin.address.Text(),
                   origin.port, AlertText(message).Text());
}

GString ErrorPages::BuildHistoryBack() {
  return Resource(2120) + kHtmlType + "\r\n" + "<html><head>\n" + "<SCRIPT language=\"JavaScript\">\n" +
         "window.history.back()\n" + "</SCRIPT>\n" + "</head>\n" + "</html>\n";
}

GString ErrorPages::AlertText(const char* message) {
  GString text(message != nullptr ? message : "");
  int length = text.GetLength();
  for (int i = 0; i < length; ++i) {
    const char* at = text.Text() + i;
    if (*at == '\n') {
      text.SetAt(i, ' ');
    } else if (std::strncmp(at, "<P>", 3) == 0) {
      text.SetAt(i, ' ');
      text.SetAt(i + 1, '\\');
      text.SetAt(i + 2, 'n');
      i += 2;
    } else if (std::strncmp(at, "<BR>", 4) == 0) {
      text.SetAt(i, ' ');
      text.SetAt(i + 1, ' ');
      text.SetAt(i + 2, '\\');
      text.SetAt(i + 3, 'n');
      i += 3;
    }
  }
  return text;
}
