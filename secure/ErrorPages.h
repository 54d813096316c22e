#pragma once

#include "common/GString.h"

// The pages the proxy sends to the browser itself when it cannot deliver
// what was asked for. Every text comes from the string table; each page is a
// head (status line and header lines up to the empty line) and a body.
class ErrorPages {
 public:
  // Where the page says it comes from: the proxy kind ("client"), the
  // machine's address and the listening port.
  struct Origin {
    GString proxyKind;
    GString address;
    int port = 0;
  };

  // 400 Bad Request quoting the browser's request line and header, with the
  // reason (may be null).
  static void BuildBrowserError(const Origin& origin, const GString& requestLine, const GString& header,
                                const char* reason, GString& head, GString& body);

  // 500 Security Error with the reason; extraLine (may be null or empty) is
  // added to the head as one more header line.
  static void BuildSecurityError(const Origin& origin, const char* reason, const char* extraLine, GString& head,
                                 GString& body);

  // 500 with the message shown in a noscript block and in a script alert.
  static void BuildAlert(const Origin& origin, const char* message, GString& head, GString& body);

  // A page, all head and no body, that sends the browser back to its form.
  static GString BuildHistoryBack();

  // The message as a script string: every line feed becomes a space, every
  // "<P>" becomes space, backslash, n, and every "<BR>" becomes two spaces,
  // backslash, n. The length never changes.
  static GString AlertText(const char* message);

  // The proxy kind of the pages (message 2096), loaded once.
  static const GString& ProxyKind();
};
