#!/usr/bin/env python3
"""A registration server that answers every POST with one canned reply.

usage: fake_registration.py PORT_FILE MODE [TEMP_PASSWORD CARD_TEXT]
MODE: wrong-type (200, the enrollment step's content type), ref-only ("ref="
without "auth="), undecodable (values that are not Base64), pad-zero and
pad-nine (values encrypted under the card holder's key whose last byte,
the padding count, is 0 or 9; needs the openssl command with CAST5)."""
import base64
import hashlib
import http.server
import socketserver
import subprocess
import sys

REGISTRATION_TYPE = "application/x-Corvask-Registration"


def card_key(temporary, card):
    digest = (temporary + card + "QOFTWVAN").encode()
    for _ in range(10000):
        digest = hashlib.sha1(digest).digest()
    return digest[:16]


def encrypt_with_pad_byte(key, text, pad):
    block = text.encode()
    block += bytes([pad]) * (8 - len(block) % 8)
    out = subprocess.run(
        ["openssl", "enc", "-provider", "legacy", "-provider", "default", "-cast5-cbc", "-nopad",
         "-K", key.hex(), "-iv", b"60917342".hex()],
        input=block, capture_output=True, check=True).stdout
    return base64.b64encode(out).decode()


def reply_for(mode, argv):
    if mode == "wrong-type":
        return "application/x-Corvask-SEP", "ref=AAAA&auth=AAAA"
    if mode == "ref-only":
        return REGISTRATION_TYPE, "ref=AAAAAAAAAAA="
    if mode == "undecodable":
        return REGISTRATION_TYPE, "ref=!!!!&auth=????"
    key = card_key(argv[3], argv[4])
    pad = 0 if mode == "pad-zero" else 9
    return REGISTRATION_TYPE, "ref=%s&auth=%s" % (encrypt_with_pad_byte(key, "1234567", pad),
                                                   encrypt_with_pad_byte(key, "ABCD-EFGH-IJK", pad))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    reply = ("text/plain", "")

    def log_message(self, *args):
        pass

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        self.rfile.read(length)
        ctype, body = Handler.reply
        data = body.encode()
        self.send_response(200)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)


def main():
    Handler.reply = reply_for(sys.argv[2], sys.argv)
    with socketserver.TCPServer(("127.0.0.1", 0), Handler) as server:
        with open(sys.argv[1] + ".tmp", "w") as f:
            f.write(str(server.server_address[1]))
        import os
        os.rename(sys.argv[1] + ".tmp", sys.argv[1])
        server.serve_forever()


if __name__ == "__main__":
    main()
