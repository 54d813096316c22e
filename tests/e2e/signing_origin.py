#!/usr/bin/env python3
"""The web site of the form-signing end-to-end test, on 127.0.0.1.

Paths: /order (a page with two forms, the first closed by "</form>", the
second by "</FORM>"), /echo (the request's line, headers and body, as text).
The port is written to the file given as the first argument."""
import http.server
import socketserver
import sys

PAGE = (b"<html><body><h1>Order</h1>\n"
        b"<form action=\"/echo\" method=\"post\"><input name=\"a\" value=\"1\">\n</form>\n"
        b"<FORM action=\"/echo\" method=\"post\"><input name=\"b\"></FORM>\n</body></html>\n")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def answer(self, body, ctype):
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        if self.path.split("?")[0] == "/order":
            return self.answer(PAGE, "text/html")
        return self.echo(b"")

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        self.echo(body)

    def echo(self, body):
        text = (self.requestline + "\r\n").encode() + bytes(self.headers) + body
        self.answer(text, "text/plain")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    with open(sys.argv[1] + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    import os
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
