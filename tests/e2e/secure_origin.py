#!/usr/bin/env python3
"""The protected web site of the secure end-to-end tests, on 127.0.0.1.

Paths: /page (an HTML page holding a marker text), /big (10 MiB of
repeatable bytes), /echo (the request's method, headers and body, as text),
/img.gif (a real GIF), /fake.gif (bytes that are not a GIF), /doc.pdf,
/logoff and /disconnect (small pages), /slow (answers after 5 s).
The port is written to the file given as the first argument."""
import http.server
import socketserver
import sys
import time

MARKER = b"MARKER-7c1e-CLEAR-PAGE"
BIG = bytes((i * 7 + i // 4096) & 0xFF for i in range(10 * 1024 * 1024))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def answer(self, body, ctype):
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        path = self.path.split("?")[0]
        if path == "/big":
            return self.answer(BIG, "application/octet-stream")
        if path == "/img.gif":
            return self.answer(b"GIF87a" + b"\x01\x00\x01\x00" + b"\x00" * 20, "image/gif")
        if path == "/fake.gif":
            return self.answer(b"GIF88a" + b"\x00" * 20, "image/gif")
        if path == "/doc.pdf":
            return self.answer(b"%PDF-1.4 " + MARKER, "application/pdf")
        if path == "/slow":
            time.sleep(5)
        if path == "/echo":
            return self.echo(b"")
        return self.answer(b"<html><body>" + MARKER + b" " + path.encode() + b"</body></html>", "text/html")

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        self.echo(body)

    def echo(self, body):
        text = (self.requestline + "\r\n").encode() + bytes(self.headers) + body
        self.answer(text, "text/plain")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    request_queue_size = 128


def main():
    server = Server(("127.0.0.1", 0), Handler)
    with open(sys.argv[1] + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    import os
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    server.serve_forever()


if __name__ == "__main__":
    main()
