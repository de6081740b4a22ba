#pragma once

// Python source that the scripted-server tests put before their own body.
//
// A one-connection FTP server on 127.0.0.1 (or on `host`, when the source
// sets it before this prelude): greets, logs in anyone, and answers commands
// from the table `replies` (a function taking the argument, returning the
// reply text, or None to fall through to the defaults). Data connections are
// passive on `data_port`; `send_data(bytes)` and `recv_data()` use them.
// `accept_data()`, `reset_close(sock)`, `dribble(text, delay)` and
// `trickle_data(chunk, delay, count)` are for servers that misbehave slowly.
inline constexpr char kPrelude[] = R"PY(
import socket, sys, os, time
port = int(sys.argv[1])
host = globals().get("host", "127.0.0.1"); family = socket.AF_INET6 if ":" in host else socket.AF_INET
if family == socket.AF_INET6:  # the fixture waits for 127.0.0.1:port to listen
    marker = socket.socket(); marker.bind(("127.0.0.1", port)); marker.listen(1)
listener = socket.socket(family); listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind((host, port)); listener.listen(1)
data_listener = socket.socket(family); data_listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
data_listener.bind((host, 0)); data_listener.listen(1)
data_port = data_listener.getsockname()[1]
listener.settimeout(30); data_listener.settimeout(10)
conn, _ = listener.accept(); conn.settimeout(30)
f = conn.makefile("rb")
def say(text): conn.sendall((text + "\r\n").encode("utf-8", "surrogateescape"))
def send_data(payload):
    d, _ = data_listener.accept(); d.sendall(payload); d.close()
def recv_data():
    d, _ = data_listener.accept(); chunks = []
    while True:
        b = d.recv(65536)
        if not b: break
        chunks.append(b)
    d.close(); return b"".join(chunks)
def accept_data():
    d, _ = data_listener.accept(); return d
def reset_close(sock):
    # A zero linger time makes close() send RST instead of FIN.
    import struct
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0)); sock.close()
def dribble(text, delay):
    # The line and its CRLF one byte at a time, delay seconds apart.
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    for b in (text + "\r\n").encode("utf-8", "surrogateescape"):
        conn.sendall(bytes([b])); time.sleep(delay)
def trickle_data(chunk, delay, count):
    # chunk(i) count times, delay apart, on a new data connection; False when
    # the client closed it before the end.
    d = accept_data()
    try:
        for i in range(count): d.sendall(chunk(i)); time.sleep(delay)
    except OSError: return False
    finally: d.close()
    return True
def pasv(): return "227 Entering Passive Mode (127,0,0,1,%d,%d)" % (data_port // 256, data_port % 256)
defaults = {"USER": lambda a: "331 pw", "PASS": lambda a: "230 in", "FEAT": lambda a: "211 none",
            "SYST": lambda a: "215 UNIX", "PWD": lambda a: '257 "/"', "TYPE": lambda a: "200 ok",
            "EPSV": lambda a: "500 no", "PASV": lambda a: pasv(), "QUIT": lambda a: "221 bye",
            "CWD": lambda a: "250 ok", "NOOP": lambda a: "200 ok"}
def serve(replies, greeting="220 scripted"):
    if greeting is not None: say(greeting)
    while True:
        line = f.readline()
        if not line: return
        line = line.decode("utf-8", "surrogateescape").rstrip("\r\n")
        verb, _, arg = line.partition(" ")
        verb = verb.upper()
        handler = replies.get(verb) or defaults.get(verb)
        answer = handler(arg) if handler else "502 not here"
        if answer is not None: say(answer)
        if verb == "QUIT": return
)PY";
