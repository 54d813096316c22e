#include "secure/ErrorPages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

ErrorPages::Origin TestOrigin() {
  ErrorPages::Origin origin;
  origin.proxyKind = ErrorPages::ProxyKind();
  origin.address = "10.1.2.3";
  origin.port = 8080;
  return origin;
}

TEST(ErrorPagesTest, AlertTextKeepsLength) {
  EXPECT_STREQ("x \\ny z", ErrorPages::AlertText("x<P>y\nz").Text());
  EXPECT_STREQ("a  \\nb<p>", ErrorPages::AlertText("a<BR>b<p>").Text());
  EXPECT_STREQ("", ErrorPages::AlertText(nullptr).Text());
}

TEST(ErrorPagesTest, AlertPage) {
  GString head;
  GString body;
  ErrorPages::BuildAlert(TestOrigin(), "x<P>y\nz", head, body);
  EXPECT_STREQ(
      "HTTP/1.0 500 Error from Velgrade proxy\r\nProxy-agent: Velgrade\r\nContent-type: text/html\r\n\r\n",
      head.Text());
  EXPECT_STREQ(
      "<html><head><title>Error</title></head><body>\n<noscript>\n<B>x<P>y\nz</B>\n<hr size=4>\n"
      "<font size=-2>Error from client proxy on 10.1.2.3:8080</font>\n</noscript>\n"
      "<SCRIPT LANGUAGE=\"JavaScript\">\n<!-- Begin to hide script contents from old browsers.\n"
      "\talert(\"x \\ny z\")\n// End the hiding here. -->\n</SCRIPT>\n</body></html>",
      body.Text());
}

TEST(ErrorPagesTest, BrowserErrorPageQuotesALongRequestWhole) {
  std::string header = "Host: h\r\n" + std::string(6000, 'a') + "\r\n\r\n";
  GString head;
  GString body;
  ErrorPages::BuildBrowserError(TestOrigin(), "GET /x HTTP/1.0\r\n", header.c_str(), "Why", head, body);
  EXPECT_STREQ("HTTP/1.0 400 Bad Request\r\nProxy-agent: Velgrade\r\nContent-type: text/html\r\n\r\n",
               head.Text());
  std::string expected =
      "<html><head><title>Browser Error</title></head>\n<body bgcolor=\"#ffffff\" text=\"#000000\">"
      "<h1>Browser Error</h1>\nThe Velgrade client proxy on 10.1.2.3:8080 was unable to process the "
      "request:<p><blockquote><b><hr size=4><pre>\nGET /x HTTP/1.0\r\n" +
      header + "</pre><hr size=4></b></blockquote><p>\nReason: Why\n</body></html>";
  EXPECT_EQ(expected, std::string(body.Text()));
}

TEST(ErrorPagesTest, HistoryBackIsAllHead) {
  EXPECT_STREQ(
      "HTTP/1.0 500 Velgrade Security Error\r\nContent-type: text/html\r\n\r\n<html><head>\n"
      "<SCRIPT language=\"JavaScript\">\nwindow.history.back()\n</SCRIPT>\n</head>\n</html>\n",
      ErrorPages::BuildHistoryBack().Text());
}

}  // namespace
