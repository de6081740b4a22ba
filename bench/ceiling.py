#!/usr/bin/python3
"""The machine's own ceiling for a loopback transfer of a file.

    ceiling.py SOURCE DESTINATION

A child process sends SOURCE over a TCP connection on 127.0.0.1 with
sendfile(2) (no copies in user space); this process receives it in 1 MiB
blocks straight into DESTINATION on the same disk, as a client does. Prints
the seconds from the connection to the last byte written; exits 1 when the
byte count differs.
"""
import os
import socket
import sys
import time

source, destination = sys.argv[1], sys.argv[2]
size = os.path.getsize(source)
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
port = listener.getsockname()[1]

pid = os.fork()
if pid == 0:
    listener.close()
    with socket.create_connection(("127.0.0.1", port)) as s, open(source, "rb") as f:
        offset = 0
        while offset < size:
            sent = os.sendfile(s.fileno(), f.fileno(), offset, size - offset)
            if sent == 0:
                break
            offset += sent
    os._exit(0)

conn, _ = listener.accept()
start = time.monotonic()
block = bytearray(1 << 20)
view = memoryview(block)
received = 0
with open(destination, "wb") as out:
    while True:
        n = conn.recv_into(block)
        if not n:
            break
        out.write(view[:n])
        received += n
elapsed = time.monotonic() - start
conn.close()
os.waitpid(pid, 0)
if received != size:
    sys.stderr.write("ceiling.py: received %d of %d bytes\n" % (received, size))
    sys.exit(1)
print("%.3f" % elapsed)
