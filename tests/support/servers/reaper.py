"""reaper.py PROGRAM [ARGS...]: runs PROGRAM as its only child and reaps every
orphan below it (vsftpd's sessions leave some; init may reap them late, and
vsftpd itself miscounts children it did not fork). SIGTERM is passed on, and
the test binary's end comes as one too (danted, changing its uid, loses a
parent-death signal of its own).
"""
import ctypes
import os
import signal
import sys

PR_SET_PDEATHSIG = 1
PR_SET_CHILD_SUBREAPER = 36
libc = ctypes.CDLL(None, use_errno=True)
libc.prctl(PR_SET_CHILD_SUBREAPER, 1)
libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)

child = os.fork()
if child == 0:
    # Goes with the reaper, which itself goes with the test binary.
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)
    try:
        os.execv(sys.argv[1], sys.argv[1:])
    finally:
        os._exit(127)


def forward(signum, _frame):
    try:
        os.kill(child, signum)
    except ProcessLookupError:
        pass


signal.signal(signal.SIGTERM, forward)
signal.signal(signal.SIGINT, forward)


def kill_adopted():
    """Kills the children left over once the server is gone."""
    me = str(os.getpid())
    for name in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % name) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            if fields[1] == me:
                os.kill(int(name), signal.SIGKILL)
        except (OSError, IndexError, ValueError):
            pass


code = None
while True:
    try:
        pid, status = os.wait()
    except ChildProcessError:
        break
    if pid == child:
        code = os.waitstatus_to_exitcode(status)
    if code is not None:  # orphans may still arrive while the server's sessions go
        kill_adopted()
sys.exit(code if code >= 0 else 128 - code)
