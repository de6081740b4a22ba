#!/usr/bin/python3
"""A loopback FTP server for the listing benchmark.

    listing_server.py LINES PORTFILE

Listens on 127.0.0.1 (a free port, written to PORTFILE once it listens),
logs in anyone, and answers LIST (and NLST) with LINES generated Unix `ls -l`
lines: files, folders and links, with both date forms (time of day for
recent entries, the year for old ones). FEAT offers nothing, so clients list
with plain LIST. Control connections are served one after the other until
the process is stopped.
"""
import os
import socket
import sys

lines = int(sys.argv[1])
port_file = sys.argv[2]

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]


def listing_line(i):
    month = MONTHS[i % 12]
    day = i % 28 + 1
    when = "%02d:%02d" % (i % 24, i % 60) if i % 3 == 0 else " %d" % (2000 + i % 24)
    kind = i % 10
    if kind == 0:
        return "drwxr-xr-x   2 bench    bench        4096 %s %2d %5s folder_%06d" % (month, day, when, i)
    if kind == 1:
        return "lrwxrwxrwx   1 bench    bench          12 %s %2d %5s link_%06d -> target_%06d" % (month, day, when, i, i)
    return "-rw-r--r--   1 bench    bench    %10d %s %2d %5s file name %06d.txt" % (i * 7919 % 10**9, month, day, when, i)


LISTING = ("\r\n".join(listing_line(i) for i in range(lines)) + "\r\n").encode()
NAMES = ("\r\n".join("name_%06d" % i for i in range(lines)) + "\r\n").encode()

listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", 0))
listener.listen(4)
with open(port_file + ".tmp", "w") as f:
    f.write("%d\n" % listener.getsockname()[1])
os.rename(port_file + ".tmp", port_file)


def serve(conn):
    conn.settimeout(120)
    reader = conn.makefile("rb")
    data = None  # the listening socket of the next data connection

    def say(text):
        conn.sendall((text + "\r\n").encode())

    def open_data():
        nonlocal data
        if data is not None:
            data.close()
        data = socket.socket()
        data.bind(("127.0.0.1", 0))
        data.listen(1)
        data.settimeout(30)
        return data.getsockname()[1]

    def send_listing(payload):
        nonlocal data
        if data is None:
            say("425 use PASV or EPSV first")
            return
        say("150 here comes the listing")
        peer, _ = data.accept()
        peer.sendall(payload)
        peer.close()
        data.close()
        data = None
        say("226 listing sent")

    say("220 listing benchmark")
    while True:
        raw = reader.readline()
        if not raw:
            return
        verb, _, arg = raw.decode("latin-1").rstrip("\r\n").partition(" ")
        verb = verb.upper()
        if verb == "USER":
            say("331 password please")
        elif verb == "PASS":
            say("230 logged in")
        elif verb == "FEAT":
            say("211 no features")
        elif verb == "SYST":
            say("215 UNIX Type: L8")
        elif verb in ("PWD", "XPWD"):
            say('257 "/" is the current folder')
        elif verb in ("CWD", "CDUP"):
            say("250 ok")
        elif verb in ("TYPE", "MODE", "STRU", "NOOP"):
            say("200 ok")
        elif verb == "EPSV":
            say("229 Entering Extended Passive Mode (|||%d|)" % open_data())
        elif verb == "PASV":
            p = open_data()
            say("227 Entering Passive Mode (127,0,0,1,%d,%d)" % (p // 256, p % 256))
        elif verb == "LIST":
            send_listing(LISTING)
        elif verb == "NLST":
            send_listing(NAMES)
        elif verb == "QUIT":
            say("221 bye")
            return
        else:
            say("502 not here")


while True:
    conn, _ = listener.accept()
    try:
        serve(conn)
    except OSError:
        pass
    finally:
        conn.close()
