#!/usr/bin/env python3
"""A TCP relay on 127.0.0.1 that records every byte it passes.

usage: wire_relay.py PORT_FILE TARGET_PORT CAPTURE_FILE
Each connection to the relay is joined to 127.0.0.1:TARGET_PORT; the bytes of
both directions are appended to CAPTURE_FILE. Sending SIGUSR1 switches the
target to the port written in TARGET_PORT_FILE (PORT_FILE + ".target") so a
test can put another server behind the same address."""
import os
import signal
import socket
import sys
import threading

lock = threading.Lock()
target = [int(sys.argv[2])]


def record(data):
    with lock:
        with open(sys.argv[3], "ab") as out:
            out.write(data)


def pipe(src, dst):
    try:
        while True:
            data = src.recv(65536)
            if not data:
                break
            record(data)
            dst.sendall(data)
    except OSError:
        pass
    for sock in (dst, src):
        try:
            sock.shutdown(socket.SHUT_WR)
        except OSError:
            pass


def serve(client):
    try:
        upstream = socket.create_connection(("127.0.0.1", target[0]))
    except OSError:
        client.close()
        return
    a = threading.Thread(target=pipe, args=(client, upstream), daemon=True)
    b = threading.Thread(target=pipe, args=(upstream, client), daemon=True)
    a.start()
    b.start()
    a.join()
    b.join()
    client.close()
    upstream.close()


def retarget(*_):
    with open(sys.argv[1] + ".target") as f:
        target[0] = int(f.read().strip())


def main():
    signal.signal(signal.SIGUSR1, retarget)
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(128)
    with open(sys.argv[1] + ".tmp", "w") as out:
        out.write(str(listener.getsockname()[1]))
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    while True:
        client, _ = listener.accept()
        threading.Thread(target=serve, args=(client,), daemon=True).start()


if __name__ == "__main__":
    main()
