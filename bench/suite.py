#!/usr/bin/python3
"""Kelvo's benchmark suite: kelvoftp and the main window against curl, lftp
and the machine's own loopback ceiling, on vsftpd and pyftpdlib servers that
it starts on 127.0.0.1 and stops again. Run it through scripts/bench.

Workloads, made once per run in a temporary folder:
  big   one pseudo-random file (1 GiB by default), down and up, passive,
        against curl and lftp
  tree  2000 files of 4 KiB in 20 folders, down (getdir / mirror) and up
        (putdir / mirror -R), over one connection and over four (each held
        against lftp with as many)
  list  a folder of 100 000 empty files, listed long (against curl's LIST
        and lftp's cls -1; curl --list-only for reference), and one of
        200 000 once, for the memory
  parser the listing parser alone, lines per second
  window the main window offscreen, on the first server: the big file and
        the tree down, the 100 000-entry folder opened; with the event
        loop's longest stall

Every figure is the median of --rounds runs (the clients take turns at
going first, and every run starts after a sync), and every run's result is
checked (byte for byte, file counts, line counts): a wrong result stops the
suite with an error instead of giving a time. The table goes to standard
output and, as Markdown and CSV, to bench/results/. No figure is judged
here: the ratios are for reading.
"""
import argparse
import csv
import datetime
import os
import platform
import secrets
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PYTHON = "/usr/bin/python3"


class BenchError(Exception):
    pass


# --- processes -----------------------------------------------------------------

def high_water_kib(pid):
    """VmHWM of a running process: the peak of its resident memory since it
    started its program (a child's rusage would count the memory of this
    Python that it was forked from)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except (OSError, ValueError):
        pass
    return 0


def run(cmd, env=None, cwd=None, log=None, timeout=1800):
    """Runs cmd to its end; returns (seconds, peak RSS in MiB, stdout, the
    CPU seconds it and its children used, user and system).
    A non-zero exit is an error with the command's output. What earlier runs
    left for the disk to write is written first, so that it does not land on
    this one."""
    os.sync()
    start = time.monotonic()
    out = tempfile.TemporaryFile()
    err = tempfile.TemporaryFile()
    proc = subprocess.Popen(cmd, stdout=out, stderr=err, env=env, cwd=cwd)
    deadline = start + timeout
    peak_kib = 0
    polls = 0
    while True:
        # Read before reaping: the exited process's status goes with it.
        if polls % 10 == 0:
            peak_kib = max(peak_kib, high_water_kib(proc.pid))
        polls += 1
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() > deadline:
            proc.kill()
            os.wait4(proc.pid, 0)
            raise BenchError("timed out: %s" % " ".join(cmd[:3]))
        time.sleep(0.002)
    seconds = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    out.seek(0)
    err.seek(0)
    stdout = out.read().decode("utf-8", "replace")
    stderr = err.read().decode("utf-8", "replace")
    if log is not None:
        log.write("$ %s\n%s%s\n" % (" ".join(cmd), stdout[-4000:], stderr[-4000:]))
    if proc.returncode != 0:
        raise BenchError("%s failed (%d): %s" % (os.path.basename(cmd[0]), proc.returncode, stderr[-2000:] or stdout[-2000:]))
    return seconds, peak_kib / 1024.0, stdout, usage.ru_utime + usage.ru_stime


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def free_port_run(count):
    for _ in range(200):
        base = 20000 + secrets.randbelow(40000)
        try:
            sockets = []
            for p in range(base, base + count):
                s = socket.socket()
                sockets.append(s)
                s.bind(("127.0.0.1", p))
            return base
        except OSError:
            continue
        finally:
            for s in sockets:
                s.close()
    raise BenchError("no run of %d free ports" % count)


def wait_greeting(port, proc, timeout=10):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise BenchError("the server on port %d stopped" % port)
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=2) as s:
                if s.recv(100).startswith(b"220"):
                    s.sendall(b"QUIT\r\n")
                    return
        except OSError:
            pass
        time.sleep(0.1)
    raise BenchError("no greeting on port %d" % port)


# --- servers -------------------------------------------------------------------

class Server:
    name = ""
    proc = None
    port = 0
    fingerprint = None  # SHA-256 of the certificate when the server speaks TLS

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class Vsftpd(Server):
    """vsftpd standalone, as a temporary system user chrooted into root; with
    tls, explicit FTPS required (data connections resuming the session) with a
    self-signed certificate."""
    name = "vsftpd"

    def __init__(self, work, root, tls=False):
        if tls:
            self.name = "vsftpd-tls"
        self.user = "kbench%d%s" % (os.getpid(), "t" if tls else "")
        self.password = secrets.token_hex(12)
        self.root = root
        subprocess.run(["useradd", "-M", "-d", root, "-s", "/bin/bash", self.user], check=True)
        subprocess.run(["chpasswd"], input=("%s:%s" % (self.user, self.password)).encode(), check=True)
        shutil.chown(root, self.user)
        empty = os.path.join(work, "vsftpd-empty")
        os.makedirs(empty, exist_ok=True)
        self.port = free_port()
        pasv = free_port_run(32)
        conf = os.path.join(work, "vsftpd.conf")
        with open(conf, "w") as f:
            f.write("\n".join([
                "listen=YES", "listen_address=127.0.0.1", "listen_port=%d" % self.port, "background=NO",
                "anonymous_enable=NO", "local_enable=YES", "write_enable=YES", "local_umask=022",
                "chroot_local_user=YES", "allow_writeable_chroot=YES", "local_root=" + root,
                "secure_chroot_dir=" + empty, "pam_service_name=vsftpd", "seccomp_sandbox=NO",
                "pasv_enable=YES", "pasv_min_port=%d" % pasv, "pasv_max_port=%d" % (pasv + 31),
                "pasv_address=127.0.0.1", "xferlog_enable=NO", "utf8_filesystem=YES",
                "max_clients=0", "max_per_ip=0", ""]))
            if tls:
                cert, key = os.path.join(work, "tls-cert.pem"), os.path.join(work, "tls-key.pem")
                subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                                "-subj", "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                out = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-fingerprint", "-sha256"],
                                     check=True, capture_output=True, text=True).stdout
                self.fingerprint = out.strip().split("=", 1)[1]
                f.write("\n".join([
                    "ssl_enable=YES", "rsa_cert_file=" + cert, "rsa_private_key_file=" + key,
                    "force_local_logins_ssl=YES", "force_local_data_ssl=YES", "require_ssl_reuse=YES",
                    "ssl_ciphers=HIGH", ""]))
        self.proc = subprocess.Popen(["vsftpd", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_greeting(self.port, self.proc)

    def give(self, path):
        subprocess.run(["chown", "-R", self.user + ":", path], check=True)

    def stop(self):
        Server.stop(self)
        subprocess.run(["userdel", self.user], stderr=subprocess.DEVNULL)


PYFTPD = r'''
import logging, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
port, root, user, password, pasv = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5])
logging.basicConfig(level=logging.ERROR)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
class Handler(FTPHandler):
    pass
Handler.authorizer = authorizer
Handler.passive_ports = range(pasv, pasv + 32)
Handler.permit_foreign_addresses = False
server = FTPServer(("127.0.0.1", port), Handler)
server.max_cons = 512
server.max_cons_per_ip = 0
server.serve_forever()
'''


class PyFtpd(Server):
    name = "pyftpdlib"

    def __init__(self, work, root):
        self.user = "bench"
        self.password = secrets.token_hex(12)
        self.root = root
        self.port = free_port()
        script = os.path.join(work, "pyftpd.py")
        with open(script, "w") as f:
            f.write(PYFTPD)
        self.proc = subprocess.Popen([PYTHON, script, str(self.port), root, self.user, self.password,
                                      str(free_port_run(32))], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_greeting(self.port, self.proc)

    def give(self, path):
        pass


# --- workloads -----------------------------------------------------------------

def make_big(path, size_mb):
    """Incompressible like /dev/urandom, several times faster to make."""
    with open(path, "wb") as out:
        gen = subprocess.Popen(["openssl", "enc", "-aes-128-ctr", "-nosalt", "-pbkdf2", "-pass", "pass:kelvo-bench"],
                               stdin=open("/dev/zero", "rb"), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        left = size_mb << 20
        while left:
            chunk = gen.stdout.read(min(left, 1 << 20))
            if not chunk:
                break
            out.write(chunk)
            left -= len(chunk)
        gen.kill()
        gen.wait()
    if os.path.getsize(path) != size_mb << 20:
        raise BenchError("the big file came out short")


def make_tree(path, files, folders):
    for f in range(folders):
        folder = os.path.join(path, "d%02d" % f)
        os.makedirs(folder)
        for i in range(files // folders):
            with open(os.path.join(folder, "f%04d.bin" % i), "wb") as out:
                out.write(os.urandom(4096))


def make_many(path, entries):
    os.makedirs(path)
    for i in range(entries):
        os.close(os.open(os.path.join(path, "entry_%06d" % i), os.O_CREAT | os.O_WRONLY, 0o644))


def tree_contents(path):
    """Relative path -> bytes of every file under path."""
    result = {}
    for base, _, names in os.walk(path):
        for name in names:
            full = os.path.join(base, name)
            with open(full, "rb") as f:
                result[os.path.relpath(full, path)] = f.read()
    return result


def same_file(a, b):
    """Byte for byte, with cmp (faster than hashing both)."""
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def remove(path):
    if os.path.isdir(path):
        shutil.rmtree(path)
    elif os.path.exists(path):
        os.remove(path)


# --- the suite -----------------------------------------------------------------

class Suite:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build_dir)
        self.kelvoftp = os.path.join(self.build, "src/cli/kelvoftp")
        self.window = os.path.join(self.build, "bench/bench_window_transfer")
        self.parser = os.path.join(self.build, "bench/bench_listing_parser")
        self.rows = []  # dicts: server, work, client, seconds (list), peak, amount, unit, stall
        self.work = tempfile.mkdtemp(prefix="kelvo-bench.")
        os.chmod(self.work, 0o755)
        self.log = open(os.path.join(self.work, "commands.log"), "w")
        self.servers = []
        self.temporary = []  # folders outside self.work, removed at the end

    # ---- clients
    def kelvo(self, server, *words, connections=None):
        env = dict(os.environ, KELVO_PASSWORD=server.password)
        cmd = [self.kelvoftp, "--timeout", "120"]
        if connections:
            cmd += ["--connections", str(connections)]
        if server.fingerprint:
            cmd += ["--tls-trust", server.fingerprint]
        cmd += ["ftp://%s@127.0.0.1:%d/" % (server.user, server.port)] + list(words)
        return run(cmd, env=env, log=self.log)

    def netrc(self, server):
        path = os.path.join(self.work, "netrc-" + server.name)
        with open(path, "w") as f:
            f.write("machine 127.0.0.1 login %s password %s\n" % (server.user, server.password))
        os.chmod(path, 0o600)
        return path

    def curl(self, server, *words):
        tls = ["--ssl-reqd", "--insecure"] if server.fingerprint else []
        return run(["curl", "-sS", "--max-time", "1800", "--netrc-file", self.netrc(server)] + tls + list(words),
                   log=self.log)

    def lftp(self, server, command):
        script = os.path.join(self.work, "lftp-" + server.name)
        with open(script, "w") as f:
            f.write("set cmd:fail-exit yes\nset ftp:ssl-allow no\nset net:max-retries 1\nset net:timeout 60\n"
                    "set ftp:passive-mode on\nset xfer:clobber on\n"
                    "open -u %s,%s -p %d 127.0.0.1\n%s\nquit\n" % (server.user, server.password, server.port, command))
        os.chmod(script, 0o600)
        return run(["lftp", "-f", script], log=self.log)

    def window_run(self, server, mode, name, local):
        home = os.path.join(self.work, "window-home")
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/.config", QT_QPA_PLATFORM="offscreen",
                   KELVO_REGISTRY_DIR=home + "/registry", KELVO_HOME=home + "/kelvo",
                   BENCH_FTP_PASSWORD=server.password, XDG_RUNTIME_DIR=home + "/runtime")
        os.makedirs(home + "/registry", exist_ok=True)
        os.makedirs(home + "/runtime", mode=0o700, exist_ok=True)
        _, peak, out, _ = run([self.window, mode, "127.0.0.1", str(server.port), server.user, name, local], env=env, log=self.log)
        seconds, stall = out.split()[-2:]
        return float(seconds), peak, int(stall)

    # ---- bookkeeping
    def record(self, server, work, client, seconds, peak, amount, unit, stall=None, peers=(), ceiling=False,
               cpu=None):
        for row in self.rows:
            if row["server"] == server and row["work"] == work and row["client"] == client:
                row["times"].append(seconds)
                row["peaks"].append(peak)
                if stall is not None:
                    row["stalls"].append(stall)
                if cpu is not None:
                    row["cpus"].append(cpu)
                return
        self.rows.append(dict(server=server, work=work, client=client, times=[seconds], peaks=[peak],
                              amount=amount, unit=unit, stalls=[] if stall is None else [stall], peers=list(peers),
                              ceiling=ceiling, cpus=[] if cpu is None else [cpu]))

    def median(self, server, work, client):
        for row in self.rows:
            if row["server"] == server and row["work"] == work and row["client"] == client:
                return statistics.median(row["times"])
        return None

    def say(self, text):
        print(text, flush=True)

    # ---- workloads
    @staticmethod
    def rotated(clients, r):
        """The clients of round r, the first one moved to the end each round:
        no client always runs first (or right after another's big write)."""
        k = r % len(clients)
        return clients[k:] + clients[:k]

    def bench_big(self, server):
        size = self.args.size_mb << 20
        source = os.path.join(server.root, "source.bin")
        local = os.path.join(self.work, "local")
        os.makedirs(local, exist_ok=True)
        s = server.name
        mb = size / 1e6
        name = "1 GiB" if self.args.size_mb == 1024 else "%d MiB" % self.args.size_mb
        tls = bool(server.fingerprint)
        peers = ["curl"] if tls else ["curl", "lftp"]
        target = os.path.join(local, "big.bin")
        for r in range(self.args.rounds):
            gets = [
                ("ceiling", lambda: run([PYTHON, os.path.join(REPO, "bench/ceiling.py"), source, target], log=self.log)),
                ("kelvoftp", lambda: self.kelvo(server, "get", "source.bin", target)),
                ("curl", lambda: self.curl(server, "-o", target, "ftp://127.0.0.1:%d/source.bin" % server.port)),
                ("lftp", lambda: self.lftp(server, "get source.bin -o %s" % target)),
            ]
            for client, fn in self.rotated([g for g in gets if g[0] != "lftp" or not tls], r):
                remove(target)
                seconds, peak, out, cpu = fn()
                if client == "ceiling":
                    seconds, cpu = float(out.split()[-1]), None
                if not same_file(source, target):
                    raise BenchError("%s get: the file differs" % client)
                self.record(s, name + " get", client, seconds, peak, mb, "MB/s", peers=peers, ceiling=True, cpu=cpu)
            remove(target)
            up = os.path.join(server.root, "up.bin")
            puts = [
                ("kelvoftp", lambda: self.kelvo(server, "put", source, "up.bin")),
                ("curl", lambda: self.curl(server, "-T", source, "ftp://127.0.0.1:%d/up.bin" % server.port)),
                ("lftp", lambda: self.lftp(server, "put %s -o up.bin" % source)),
            ]
            for client, fn in self.rotated([p for p in puts if p[0] != "lftp" or not tls], r):
                remove(up)
                seconds, peak, _, cpu = fn()
                if not same_file(source, up):
                    raise BenchError("%s put: the file differs" % client)
                self.record(s, name + " put", client, seconds, peak, mb, "MB/s", peers=peers, ceiling=True, cpu=cpu)
                remove(up)
            self.say("  %s big file: round %d done" % (s, r + 1))
        # The put ceiling is the same copy the other way: one figure for both.
        for row in list(self.rows):
            if row["server"] == s and row["client"] == "ceiling" and row["work"].endswith("get"):
                self.rows.append(dict(row, work=row["work"][:-3] + "put"))

    def bench_tree(self, server, expected):
        s = server.name
        files = len(expected)
        # The copies go to memory where there is a memory file system: on
        # this machine's ext4 each new file costs the kernel 0.4 to 1.5 ms,
        # more with every tree removed before, which drowns the clients'
        # own work in the disk's and is the same for every client.
        local = tempfile.mkdtemp(prefix="kelvo-bench-tree.", dir=self.args.tree_dir or self.work)
        self.temporary.append(local)
        for r in range(self.args.rounds):
            for client, fn in self.rotated([
                ("kelvoftp -c 1", lambda t: self.kelvo(server, "getdir", "tree", t, connections=1)),
                ("kelvoftp -c 4", lambda t: self.kelvo(server, "getdir", "tree", t, connections=4)),
                ("lftp mirror", lambda t: self.lftp(server, "mirror tree %s" % t)),
                ("lftp mirror -P 4", lambda t: self.lftp(server, "mirror -P 4 tree %s" % t)),
            ], r):
                target = os.path.join(local, "tree")
                remove(target)
                seconds, peak, _, cpu = fn(target)
                if tree_contents(target) != expected:
                    raise BenchError("%s getdir: the tree differs" % client)
                self.record(s, "tree get", client, seconds, peak, files, "files/s", peers=self.tree_peers(client), cpu=cpu)
            source = os.path.join(self.work, "tree-src")
            for client, fn in self.rotated([
                ("kelvoftp -c 1", lambda: self.kelvo(server, "putdir", source, "up", connections=1)),
                ("kelvoftp -c 4", lambda: self.kelvo(server, "putdir", source, "up", connections=4)),
                ("lftp mirror", lambda: self.lftp(server, "mirror -R %s up" % source)),
                ("lftp mirror -P 4", lambda: self.lftp(server, "mirror -R -P 4 %s up" % source)),
            ], r):
                up = os.path.join(server.root, "up")
                remove(up)
                seconds, peak, _, cpu = fn()
                if tree_contents(up) != expected:
                    raise BenchError("%s putdir: the tree differs" % client)
                self.record(s, "tree put", client, seconds, peak, files, "files/s", peers=self.tree_peers(client), cpu=cpu)
            self.say("  %s tree: round %d done" % (s, r + 1))

    @staticmethod
    def tree_peers(client):
        """One connection is held against lftp's one, four against its four."""
        return ["lftp mirror -P 4"] if client.endswith("4") else ["lftp mirror"]

    def bench_list(self, server):
        """kelvoftp ls prints a long listing: held against curl's LIST (the
        server's own long listing, passed through) and lftp's cls -1; the
        folder of twice as many entries is listed once, for the memory."""
        s = server.name
        n = self.args.entries
        lines = lambda out: len([l for l in out.splitlines() if l.strip()])
        peers = ["curl LIST", "lftp cls -1"]
        for r in range(self.args.rounds):
            for client, fn in self.rotated([
                ("kelvoftp", lambda: self.kelvo(server, "ls", "many")),
                ("curl LIST", lambda: self.curl(server, "ftp://127.0.0.1:%d/many/" % server.port)),
                ("lftp cls -1", lambda: self.lftp(server, "cls -1 many")),
                ("curl --list-only", lambda: self.curl(server, "--list-only", "ftp://127.0.0.1:%d/many/" % server.port)),
            ], r):
                seconds, peak, out, cpu = fn()
                if lines(out) != n:
                    raise BenchError("%s ls: %d lines for %d entries" % (client, lines(out), n))
                self.record(s, self.list_work(n), client, seconds, peak, n, "entries/s",
                            peers=peers if client == "kelvoftp" else (), cpu=cpu)
            self.say("  %s listing: round %d done" % (s, r + 1))
        for client, fn in [
            ("kelvoftp", lambda: self.kelvo(server, "ls", "many2")),
            ("curl LIST", lambda: self.curl(server, "ftp://127.0.0.1:%d/many2/" % server.port)),
        ]:
            seconds, peak, out, cpu = fn()
            if lines(out) != 2 * n:
                raise BenchError("%s ls: %d lines for %d entries" % (client, lines(out), 2 * n))
            self.record(s, self.list_work(2 * n), client, seconds, peak, 2 * n, "entries/s", peers=["curl LIST"], cpu=cpu)

    @staticmethod
    def list_work(n):
        return "list %dk" % (n // 1000) if n % 1000 == 0 else "list %d" % n

    def bench_parser(self):
        for r in range(self.args.rounds):
            _, _, out, _ = run([self.parser, "1000000"], log=self.log)
            for line in out.splitlines():
                fmt, lines, seconds, _ = line.split()
                self.record("-", "parse %s lines" % fmt, "ListingParser", float(seconds), 0, int(lines), "lines/s")

    def bench_window(self, server, expected):
        s = server.name
        # The big file to the disk, as kelvoftp's; the tree where kelvoftp's goes.
        disk = os.path.join(self.work, "window-local")
        memory = tempfile.mkdtemp(prefix="kelvo-bench-window.", dir=self.args.tree_dir or self.work)
        self.temporary.append(memory)
        source = os.path.join(server.root, "source.bin")
        for r in range(self.args.rounds):
            for folder in (disk, memory):
                remove(folder)
                os.makedirs(folder)
            local = disk
            if "big" in self.args.work:
                seconds, peak, stall = self.window_run(server, "get", "source.bin", local)
                if not same_file(source, os.path.join(local, "source.bin")):
                    raise BenchError("window get: the file differs")
                self.record(s, "1 GiB get" if self.args.size_mb == 1024 else "%d MiB get" % self.args.size_mb,
                            "window", seconds, peak, (self.args.size_mb << 20) / 1e6, "MB/s", stall=stall,
                            peers=["curl", "lftp"], ceiling=True)
                remove(os.path.join(local, "source.bin"))
            local = memory
            if "tree" in self.args.work:
                seconds, peak, stall = self.window_run(server, "get", "tree", local)
                if tree_contents(os.path.join(local, "tree")) != expected:
                    raise BenchError("window tree get: the tree differs")
                self.record(s, "tree get", "window", seconds, peak, len(expected), "files/s", stall=stall,
                            peers=["lftp mirror -P 4"])
            if "list" in self.args.work:
                seconds, peak, stall = self.window_run(server, "open", "many", local)
                # The window against kelvoftp ls of the same folder.
                self.record(s, self.list_work(self.args.entries), "window", seconds, peak, self.args.entries,
                            "entries/s", stall=stall, peers=["kelvoftp", "curl LIST"])
            self.say("  %s window: round %d done" % (s, r + 1))

    # ---- the run
    def main(self):
        work = self.args.work
        need = (self.args.size_mb << 20) * (len(self.args.servers) + 3) if "big" in work or "tls" in work else 0
        if need and shutil.disk_usage(self.work).free < need + (256 << 20):
            raise BenchError("needs about %d MiB free in %s" % ((need >> 20) + 256, self.work))
        self.say("making the workloads in %s ..." % self.work)
        tree_src = os.path.join(self.work, "tree-src")
        make_tree(tree_src, self.args.files, self.args.folders)
        expected = tree_contents(tree_src)
        roots = {}
        for name in self.args.servers:
            root = os.path.join(self.work, "root-" + name)
            os.makedirs(root)
            os.chmod(root, 0o755)
            shutil.copytree(tree_src, os.path.join(root, "tree"))
            if "list" in work or "window" in work:
                make_many(os.path.join(root, "many"), self.args.entries)
            if "list" in work:
                make_many(os.path.join(root, "many2"), 2 * self.args.entries)
            roots[name] = root
        if "big" in work:
            first = os.path.join(roots[self.args.servers[0]], "source.bin")
            make_big(first, self.args.size_mb)
            for name in self.args.servers[1:]:
                shutil.copyfile(first, os.path.join(roots[name], "source.bin"))

        if "parser" in work:
            self.say("listing parser ...")
            self.bench_parser()
        for name in self.args.servers:
            server = Vsftpd(self.work, roots[name]) if name == "vsftpd" else PyFtpd(self.work, roots[name])
            self.servers.append(server)
            server.give(roots[name])
            self.say("%s on port %d" % (name, server.port))
            if "big" in work:
                self.bench_big(server)
            if "tree" in work:
                self.bench_tree(server, expected)
            if "list" in work:
                self.bench_list(server)
            if "window" in work and name == self.args.servers[0] and os.path.exists(self.window):
                self.bench_window(server, expected)
            server.stop()
            if "tls" in work and name == "vsftpd":
                # The big file again, encrypted: what TLS costs next to curl's.
                if not os.path.exists(os.path.join(roots[name], "source.bin")):
                    make_big(os.path.join(roots[name], "source.bin"), self.args.size_mb)
                server = Vsftpd(self.work, roots[name], tls=True)
                self.servers.append(server)
                server.give(roots[name])
                self.say("%s on port %d" % (server.name, server.port))
                self.bench_big(server)
                server.stop()
        self.report()

    def cleanup(self):
        for server in self.servers:
            server.stop()
        self.log.close()
        for folder in self.temporary:
            shutil.rmtree(folder, ignore_errors=True)
        if self.args.keep:
            print("kept %s" % self.work)
        else:
            shutil.rmtree(self.work, ignore_errors=True)

    # ---- the table
    def table(self):
        header = ["server", "work", "client", "median s", "cpu s", "rate", "vs peer", "vs ceiling", "peak MiB", "stall ms"]
        lines = []
        for row in self.rows:
            t = statistics.median(row["times"])
            rate = row["amount"] / t if t > 0 else 0
            ceiling = self.median(row["server"], row["work"], "ceiling") if row["ceiling"] else None
            # Ratios of speed: above 1 is faster than the peer.
            ratios = []
            if row["client"] != "ceiling" and row["client"] not in row["peers"]:
                for name in row["peers"]:
                    peer = self.median(row["server"], row["work"], name)
                    if peer:
                        ratios.append("%.2f %s" % (peer / t, name) if len(row["peers"]) > 1 else "%.2f" % (peer / t))
            vs_peer = ", ".join(ratios)
            vs_ceiling = "%.2f" % (ceiling / t) if ceiling and row["client"] != "ceiling" else ""
            peak = "%.0f" % max(row["peaks"]) if max(row["peaks"]) > 0 else ""
            stall = "%d" % max(row["stalls"]) if row["stalls"] else ""
            cpu = "%.2f" % statistics.median(row["cpus"]) if row["cpus"] else ""
            lines.append([row["server"], row["work"], row["client"], "%.3f" % t, cpu,
                          "%.0f %s" % (rate, row["unit"]), vs_peer, vs_ceiling, peak, stall])
        return header, lines

    def machine(self):
        cpu = platform.processor()
        try:
            with open("/proc/cpuinfo") as f:
                for line in f:
                    if line.startswith("model name"):
                        cpu = line.split(":", 1)[1].strip()
                        break
        except OSError:
            pass
        mem = os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / (1 << 30)
        return "%s, %d cores, %.0f GiB, %s %s" % (cpu, os.cpu_count(), mem, platform.system(), platform.release())

    def report(self):
        header, lines = self.table()
        widths = [max(len(header[i]), *(len(l[i]) for l in lines)) for i in range(len(header))]
        fmt = "  ".join("%%-%ds" % w for w in widths)
        print()
        print("machine: " + self.machine())
        print("median of %d runs; cpu: the client's own processor time (user and system); rate in 10^6 bytes, "
              "files or entries per second; 'vs' columns are speed ratios (above 1: faster than the peer or the "
              "ceiling)" % self.args.rounds)
        print(fmt % tuple(header))
        for l in lines:
            print(fmt % tuple(l))
        results = os.path.join(REPO, "bench", "results")
        os.makedirs(results, exist_ok=True)
        stamp = datetime.datetime.now().strftime("%Y%m%d-%H%M%S")
        with open(os.path.join(results, "bench-%s.csv" % stamp), "w", newline="") as f:
            w = csv.writer(f)
            w.writerow(header)
            w.writerows(lines)
        md = ["Machine: " + self.machine(), "",
              "Median of %d runs, %s. \"cpu s\" is the client's own processor time, user and system. Rates in 10^6 "
              "bytes, files or entries per second; the \"vs\" columns are "
              "speed ratios (above 1: faster than the peer, lftp or curl, or than the loopback ceiling)."
              % (self.args.rounds, datetime.date.today().isoformat()), "",
              "| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
        md += ["| " + " | ".join(l) + " |" for l in lines]
        for name in ("bench-%s.md" % stamp, "latest.md"):
            with open(os.path.join(results, name), "w") as f:
                f.write("\n".join(md) + "\n")
        print("\nwritten to bench/results/bench-%s.md and .csv (and latest.md)" % stamp)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build-dir", default=os.environ.get("KELVO_BUILD_DIR", os.path.join(REPO, "build")))
    p.add_argument("--rounds", type=int, default=3)
    p.add_argument("--size-mb", type=int, default=1024)
    p.add_argument("--files", type=int, default=2000)
    p.add_argument("--folders", type=int, default=20)
    p.add_argument("--entries", type=int, default=100000)
    p.add_argument("--work", default="big,tree,list,parser,window,tls",
                   help="comma-separated: big, tree, list, parser, window, tls (the big file over TLS, vsftpd only)")
    p.add_argument("--servers", default="vsftpd,pyftpdlib", help="comma-separated: vsftpd, pyftpdlib")
    p.add_argument("--keep", action="store_true", help="keep the temporary folder")
    shm = "/dev/shm" if os.access("/dev/shm", os.W_OK) else ""
    p.add_argument("--tree-dir", default=shm,
                   help="where the tree's local copies go (default: %s; empty: the temporary folder)" % (shm or "none"))
    args = p.parse_args()
    args.work = set(args.work.split(","))
    args.servers = [s for s in args.servers.split(",") if s]
    if os.getuid() != 0 and "vsftpd" in args.servers:
        sys.exit("suite.py: vsftpd needs root (PAM, a temporary user); use --servers pyftpdlib otherwise")
    for tool in ["curl", "lftp", "cmp", "openssl"] + (["vsftpd", "useradd", "userdel", "chpasswd"] if "vsftpd" in args.servers else []):
        if not shutil.which(tool):
            sys.exit("suite.py: missing %s (scripts/setup installs it)" % tool)
    suite = Suite(args)
    for exe in (suite.kelvoftp, suite.parser):
        if not os.access(exe, os.X_OK):
            sys.exit("suite.py: no %s (build first, or set --build-dir)" % exe)
    try:
        suite.main()
    except BenchError as e:
        print("suite.py: %s" % e, file=sys.stderr)
        print("commands and their output: %s" % os.path.join(suite.work, "commands.log"), file=sys.stderr)
        suite.args.keep = True
        suite.cleanup()
        sys.exit(1)
    except KeyboardInterrupt:
        suite.cleanup()
        sys.exit(130)
    suite.cleanup()


if __name__ == "__main__":
    main()
