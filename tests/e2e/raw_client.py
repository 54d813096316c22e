#!/usr/bin/env python3
"""Sends a request to 127.0.0.1:PORT as a browser would and prints the answer.

usage: raw_client.py PORT MODE < request
MODE whole: send at once; bytewise: one byte per send, with pauses;
close: send and close at once without reading. The request is read from
standard input with its bytes as they are."""
import socket
import sys
import time

port, mode = int(sys.argv[1]), sys.argv[2]
request = sys.stdin.buffer.read()
conn = socket.create_connection(("127.0.0.1", port), timeout=30)
if mode == "bytewise":
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    for i in range(len(request)):
        conn.sendall(request[i:i + 1])
        time.sleep(0.002)
else:
    conn.sendall(request)
if mode == "close":
    conn.close()
    sys.exit(0)
answer = b""
while True:
    chunk = conn.recv(65536)
    if not chunk:
        break
    answer += chunk
sys.stdout.buffer.write(answer)
