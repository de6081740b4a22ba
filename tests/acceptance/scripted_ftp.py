"""A small FTP server on 127.0.0.1 that answers from a table.

scripted_ftp.py CONFIG.json: "listing" holds the LIST lines (sent as they
are, hostile names included); "files" maps a name to {"size", "seconds"}, a
download trickling over that many seconds; every command line goes to the
file "log" as it arrives, and the port to the file "ready" once the server
listens. ABOR stops a running transfer.
"""
import json
import os
import socket
import socketserver
import sys
import threading
import time

REPLIES = {"USER": "331 password please", "PASS": "230 logged in", "SYST": "215 UNIX Type: L8",
           "PWD": '257 "/" is the current folder', "CWD": "250 ok", "TYPE": "200 ok", "NOOP": "200 ok",
           "OPTS": "200 ok", "QUIT": "221 bye"}


class Session(socketserver.StreamRequestHandler):
    def say(self, text):
        with self.lock:
            self.wfile.write((text + "\r\n").encode("utf-8", "surrogateescape"))

    def send(self, chunks, delay):
        # Beside the command loop, so that ABOR is read while it sends.
        complete = False
        try:
            conn, _ = self.data.accept()
            with conn:
                for chunk in chunks:
                    if self.stop.is_set():
                        break
                    conn.sendall(chunk)
                    time.sleep(delay)
                else:
                    complete = True
        except OSError:
            pass
        self.say("226 transfer complete" if complete else "426 transfer aborted")

    def handle(self):
        self.lock, self.stop, self.data, self.transfer = threading.Lock(), threading.Event(), None, None
        self.say("220 scripted server ready")
        for raw in self.rfile:
            line = raw.lstrip(b"\xff\xf4\xf2").decode("utf-8", "surrogateescape").rstrip("\r\n")
            with LOCK, open(CONFIG["log"], "a", encoding="utf-8", errors="surrogateescape") as log:
                log.write(line + "\n")
            verb, _, arg = line.partition(" ")
            verb, item = verb.upper(), CONFIG["files"].get(arg)
            if verb in ("EPSV", "PASV"):
                if self.data:
                    self.data.close()
                self.data = socket.create_server(("127.0.0.1", 0))
                self.data.settimeout(10)
                port = self.data.getsockname()[1]
                self.say("229 Entering Extended Passive Mode (|||%d|)" % port if verb == "EPSV"
                         else "227 Entering Passive Mode (127,0,0,1,%d,%d)" % (port // 256, port % 256))
            elif verb == "LIST" or (verb == "RETR" and item):
                listing = "".join(entry + "\r\n" for entry in CONFIG["listing"])
                chunks, delay = [listing.encode("utf-8", "surrogateescape")], 0
                if verb == "RETR":
                    steps = max(1, int(item.get("seconds", 0) * 10))
                    piece = -(-item["size"] // steps)
                    chunks = [b"x" * min(piece, item["size"] - at) for at in range(0, item["size"], piece)]
                    delay = item.get("seconds", 0) / steps
                self.say("150 opening data connection")
                self.stop.clear()
                self.transfer = threading.Thread(target=self.send, args=(chunks, delay), daemon=True)
                self.transfer.start()
            elif verb == "SIZE" and item:
                self.say("213 %d" % item["size"])
            elif verb == "ABOR":
                self.stop.set()
                if self.transfer:
                    self.transfer.join(5)
                self.say("226 abort done")
            else:
                missing = "550 not here" if verb in ("SIZE", "RETR", "MDTM") else "502 not implemented"
                self.say(REPLIES.get(verb, missing))
                if verb == "QUIT":
                    break
        self.stop.set()


if __name__ == "__main__":
    with open(sys.argv[1], encoding="utf-8") as config:
        CONFIG = json.load(config)
    LOCK = threading.Lock()
    socketserver.ThreadingTCPServer.daemon_threads = True
    with socketserver.ThreadingTCPServer(("127.0.0.1", 0), Session) as server:
        with open(CONFIG["ready"] + ".part", "w", encoding="utf-8") as ready:
            ready.write(str(server.server_address[1]))
        os.replace(CONFIG["ready"] + ".part", CONFIG["ready"])
        server.serve_forever()
