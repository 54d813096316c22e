#!/usr/bin/env python3
"""An origin web server for the end-to-end tests, on 127.0.0.1.

Each connection is answered with the raw bytes of the request it carried (as
the body of a 200 response), so a test sees exactly what reached the origin.
The path /hang is never answered; /count answers with the number of
connections accepted so far. The port is written to the file given as the
first argument once the server listens."""
import socket
import sys
import threading

accepted = 0
lock = threading.Lock()


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data and b"\n\n" not in data:
        chunk = conn.recv(65536)
        if not chunk:
            return data
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    length = 0
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip() or b"0")
    while len(body) < length:
        chunk = conn.recv(65536)
        if not chunk:
            break
        body += chunk
        data += chunk
    return data


def serve(conn):
    global accepted
    try:
        conn.settimeout(30)
        request = read_request(conn)
        path = request.split(b" ")[1] if request.count(b" ") >= 2 else b""
        if path == b"/hang":
            conn.recv(1)
            return
        if path == b"/count":
            with lock:
                body = str(accepted).encode()
        else:
            body = request
        conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                     b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    with open(sys.argv[1] + ".tmp", "w") as out:
        out.write(str(listener.getsockname()[1]))
    import os
    os.rename(sys.argv[1] + ".tmp", sys.argv[1])
    global accepted
    while True:
        conn, _ = listener.accept()
        with lock:
            accepted += 1
        threading.Thread(target=serve, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
