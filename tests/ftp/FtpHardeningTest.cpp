// The component against scripted servers that break the dialogue as real
// ones do, or misbehave on purpose. Every wait is bounded by the component's
// own timeouts, set small here.
#include "FtpFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QTcpServer>

struct FtpHardeningTest : ::testing::Test, FtpClient {
    // After a failure: the same component logs in to a well-behaved server.
    void ExpectNextConnectWorks()
    {
        ASSERT_TRUE(Serve("serve({})\n"));
        EXPECT_TRUE(Succeeds([&] { ftp.Connect(); }));
        EXPECT_EQ(ftp.currentFolder(), "/");
    }
};

TEST_F(FtpHardeningTest, BrokenGreetingsAndLoginsFailInBoundedTimeAndTheNextConnectWorks)
{
    // An open multi-line "120-" and then silence: were that half reply kept,
    // the next server's "220" would become one of its lines and the next
    // login would wait for a greeting that never comes. Then silence after
    // PASS (a timeout, or a lost connection that says so), and a line that
    // never ends (refused with bounded memory).
    const struct {
        const char* body;
        bool (*bExpected)(const FtpError&);
    } cases[] = {
        {"conn.sendall(b'120-service ready in a moment\\r\\n')\ntime.sleep(20)\n",
         [](const FtpError& e) { return e.number == kTimeout || e.number == kConnectionLost; }},
        {"serve({'PASS': lambda a: None})\n",
         [](const FtpError& e) { return e.number == kTimeout || (e.number == kConnectionLost && e.description.contains("Timed out")); }},
        {"say('220-' + 'A' * 100000)\ntime.sleep(5)\n",
         [](const FtpError& e) { return e.number == kConnectionLost && e.description.contains("longer than"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        ASSERT_TRUE(Serve(c.body));
        const FtpError error = ErrorOf([&] { ftp.Connect(); });
        EXPECT_TRUE(c.bExpected(error)) << error.number << " " << error.description.toStdString();
        EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);
        ASSERT_NO_FATAL_FAILURE(ExpectNextConnectWorks());
        ftp.Disconnect();
    }
    EXPECT_TRUE(Logged("331 pw")) << "USER was answered";

    // 15 bytes, 100 ms apart: about 1.5 s in all against an idle timeout of
    // 1 s, which counts from the last byte that arrived.
    ASSERT_TRUE(Serve(R"PY(
serve({"PASS": lambda a: dribble("230 logged in", 0.1)})
)PY"));
    ftp.setIdleTimeout(1'000);
    EXPECT_TRUE(Succeeds([&] { ftp.Connect(); }));
    EXPECT_EQ(ftp.currentFolder(), "/");
}

TEST_F(FtpHardeningTest, OddMultiLineRepliesAndAccountQueriesKeepCommandsAndRepliesInStep)
{
    // Continuation lines without a code, lines starting with another code,
    // a coded "220-" line inside, and a reply that ends with a bare code.
    // The login asks the owner for the password, then for an account.
    ASSERT_TRUE(Serve(R"PY(
greeting = ("220-Welcome to the odd server\r\nthis line has no code at all\r\n  indented text\r\n"
            "230 a different code, still the greeting\r\n220-a coded continuation\r\n220 ready")
feat = "211-Extensions supported:\r\n SIZE\r\n211-more follows\r\n500 not the end\r\n MDTM\r\n211 End"
where = ['/odd ""quoted"" home']
def cwd(a):
    where[0] = "/odd/" + a; return "250-first\r\n250-second\r\n250"
def password(a): return "332 account please" if a == "typed" else "530 wrong"
def account(a): return "230 welcome" if a == "acct-1" else "530 bad account"
serve({"FEAT": lambda a: feat, "CWD": cwd, "PWD": lambda a: '257 "%s" is the current folder' % where[0],
       "NOOP": lambda a: "200 noop answered", "PASS": password, "ACCT": account}, greeting=greeting)
)PY"));
    int nAsked = 0;
    QObject::connect(&ftp, &FtpComponent::passwordQuery, [&](QString& sPassword) { ++nAsked, sPassword = "typed"; });
    QObject::connect(&ftp, &FtpComponent::accountQuery, [&](QString& sAccount) { ++nAsked, sAccount = "acct-1"; });
    ftp.Connect();
    EXPECT_EQ(nAsked, 2);
    EXPECT_FALSE(Logged("typed")) << "passwords never reach the log";
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    EXPECT_EQ(ftp.currentFolder(), "/odd \"quoted\" home");
    ftp.ChangeFolder("sub");
    EXPECT_EQ(ftp.currentFolder(), "/odd/sub");
    log.clear();
    ftp.SendCommand("NOOP");
    EXPECT_EQ(log.value(log.size() - 1), "200 noop answered") << Log();
    EXPECT_FALSE(Logged("250")) << Log();
}

TEST_F(FtpHardeningTest, ServerGoingAwayIdleOrMidCommandIsReportedOnceAndLogged)
{
    // A server that says 421 and goes while the component is idle: the event comes without a call.
    ASSERT_TRUE(Serve(R"PY(
def pwd(a):
    say('257 "/"'); time.sleep(0.3); say("421 Timeout."); conn.close(); sys.exit(0)
serve({"PWD": pwd})
)PY"));
    ftp.Connect();
    QDeadlineTimer wait(5'000);
    while (nDisconnected == 0 && !wait.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(nDisconnected, 1);
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);
    EXPECT_EQ(ftp.currentFolder(), QString());

    // One that goes in the middle of a command.
    ASSERT_TRUE(Serve(R"PY(
def cwd(a):
    say("421 shutting down"); conn.close(); sys.exit(0)
serve({"CWD": cwd})
)PY"));
    const QString logFile = local.path() + "/Log/FTP.LOG";
    ftp.setLogFile(logFile);
    ftp.Connect();
    EXPECT_TRUE(FailsWith(kConnectionLost, "shutting down", [&] { ftp.ChangeFolder("pub"); }));
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);
    EXPECT_TRUE(ftp.currentFolder().isEmpty());
    EXPECT_EQ(ErrorOf([&] { ftp.FolderContents(); }).number, kNotConnected);

    // The protocol log: every line time-stamped, the password never.
    const QString text = QString::fromUtf8(ReadTestFile(logFile));
    EXPECT_TRUE(text.contains("PASS ****"));
    EXPECT_FALSE(text.contains("secret"));
    EXPECT_TRUE(text.contains("421 shutting down"));
    const QRegularExpression stamped("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} USER tester$", QRegularExpression::MultilineOption);
    EXPECT_TRUE(stamped.match(text).hasMatch()) << text.toStdString();
    ASSERT_NO_FATAL_FAILURE(ExpectNextConnectWorks());
    EXPECT_EQ(nDisconnected, 2) << "one drop, one event, and none for the new connection";
}

TEST_F(FtpHardeningTest, RecursiveDownloadSkipsNamesThatLeaveTheTarget)
{
    // The server serves every RETR and every CWD it can resolve, ".." too:
    // only the client stands between these names and the folders beside the
    // target. "/" holds what a client that followed ".." would write.
    ASSERT_TRUE(Serve(R"PY(
import posixpath
tree = {
    "/": [("d", "canary"), ("f", "planted.txt"), ("d", "dir")],
    "/canary": [("f", "planted.txt")],
    "/dir": [("f", "../x"), ("f", "/abs/path"), ("f", "a\\b"), ("f", "sub/../../y"), ("d", ".."),
             ("f", "ok.txt"), ("d", "sub")],
    "/dir/sub": [("f", "deep.txt"), ("f", "../../z"), ("d", "..")],
}
where = ["/"]
def cwd(a):
    p = posixpath.normpath(posixpath.join(where[0], a)).replace("//", "/")
    if p not in tree: return "550 no such folder"
    where[0] = p; return "250 ok"
def line(kind, name):
    size = len("from %s/%s" % (where[0], name))
    return ("drwxr-xr-x 2 u g 4096 Jan 01 2020 " if kind == "d" else "-rw-r--r-- 1 u g %d Jan 01 2020 " % size) + name + "\r\n"
def listing(a):
    say("150 list"); send_data("".join(line(k, n) for k, n in tree[where[0]]).encode()); return "226 done"
def retr(a):
    say("150 sending"); send_data(("from %s/%s" % (where[0], a)).encode()); return "226 done"
serve({"CWD": cwd, "CDUP": lambda a: cwd(".."), "PWD": lambda a: '257 "%s"' % where[0], "LIST": listing,
       "RETR": retr, "SIZE": lambda a: "550 no"})
)PY"));
    ftp.Connect();
    ASSERT_TRUE(QDir(local.path()).mkdir("canary"));
    ftp.ReceiveFolder("dir/*", Local("target"), true);

    EXPECT_EQ(TreeOf(local.path()).keys(), (QStringList{"canary", "target", "target/ok.txt", "target/sub", "target/sub/deep.txt"}));
    EXPECT_EQ(ReadTestFile(Local("target/ok.txt")), QByteArray("from /dir/ok.txt"));
    EXPECT_EQ(ReadTestFile(Local("target/sub/deep.txt")), QByteArray("from /dir/sub/deep.txt"));
    for (const char* name : {"../x", "/abs/path", "a\\b", "sub/../../y", "../../z"})
        EXPECT_TRUE(Skipped(name, FtpComponent::kSkipUnsafeName)) << name << " was not reported skipped: " << skipped.join(' ').toStdString();
    EXPECT_EQ(ftp.currentFolder(), "/") << "back where the call started";
}

TEST_F(FtpHardeningTest, AbortStopsListingDownloadAndAwaitedReplyAndTheConnectionStaysUsable)
{
    // The first LIST and slow.bin trickle for up to 30 s; once the client
    // drops the data connection the server says 426, and 226 to ABOR. CWD
    // slow answers late, and the abort comes while it is awaited.
    ASSERT_TRUE(Serve(R"PY(
lists = [0]
def listing(a):
    lists[0] += 1
    say("150 here comes the listing")
    if lists[0] > 1:
        send_data(b"-rw-r--r-- 1 u g 1 Jan 01 2020 after1\r\n-rw-r--r-- 1 u g 1 Jan 01 2020 after2\r\n")
        return "226 done"
    if trickle_data(lambda i: ("-rw-r--r-- 1 u g 1 Jan 01 2020 file%06d\r\n" % i).encode(), 0.02, 1500):
        return "226 done"
    say("426 listing aborted")
def retr(a):
    if a == "small.bin":
        say("150 sending"); send_data(b"small"); return "226 done"
    say("150 sending slowly")
    if trickle_data(lambda i: b"y" * 1000, 0.02, 1500): return "226 done"
    say("426 transfer aborted")
def cwd(a):
    if a == "slow": time.sleep(0.6)
    if a == "late": say("110 a moment"); time.sleep(0.04)
    return "250 ok"
serve({"LIST": listing, "RETR": retr, "ABOR": lambda a: "226 ABOR processed", "CWD": cwd,
       "SYST": lambda a: "215 UNIX Type: L8"})
)PY"));
    ftp.Connect();
    QString abortOn;  // the next log line starting with this sets the abort property
    QObject::connect(&ftp, &FtpComponent::logText, [&](const QString& line, long) {
        if (!abortOn.isEmpty() && line.startsWith(abortOn)) ftp.setAbort(true), abortOn.clear();
    });
    abortOn = "150 here comes";
    EXPECT_TRUE(FailsWith(kAborted, "", [&] { ftp.FolderContents(); }));
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    ftp.SendCommand("NOOP");
    EXPECT_EQ(log.value(log.size() - 1), "200 ok") << Log();
    EXPECT_EQ(Names(), (QStringList{"after1", "after2"}));

    abortOn = "150 sending slowly";
    EXPECT_TRUE(FailsWith(kAborted, "", [&] { ftp.ReceiveFile("slow.bin", 0, Local("slow.bin")); }));
    EXPECT_TRUE(Succeeds([&] { ftp.ReceiveFile("small.bin", 0, Local("small.bin")); }));
    EXPECT_EQ(ReadTestFile(Local("small.bin")), "small");

    // The next call reads its own reply, not the late 250, also when the
    // late reply came in while the aborted folder download went back to
    // where it started.
    abortOn = "CWD slow";
    EXPECT_EQ(ErrorOf([&] { ftp.ChangeFolder("slow"); }).number, kAborted);
    ftp.SendCommand("SYST");
    EXPECT_EQ(ftp.lastReplyCode(), 215) << Log();
    abortOn = "110 a moment";
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFolder("late", Local("late"), true); }).number, kAborted);
    EXPECT_TRUE(Succeeds([&] { ftp.SendCommand("SYST"); }));
    EXPECT_EQ(ftp.lastReplyCode(), 215) << Log();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
}

TEST_F(FtpHardeningTest, DataConnectionsThatMisbehaveAreRefusedOrReportedAndTheSessionGoesOn)
{
    // One server, misbehaving on the data connections in turn. Its PASV
    // names 127.0.0.2 (the client must use the control connection's host);
    // "SITE badpasv" makes the next PASV name port 999*256+1, and its first
    // EPSV names port 99999. A listener waits where a client that followed
    // the foreign host would connect.
    QTcpServer foreign;
    ASSERT_TRUE(foreign.listen(QHostAddress("127.0.0.2"), 0));
    ASSERT_TRUE(Serve(R"PY(
st = {"epsv": 0, "eprt": 0, "active": None, "actives": 0, "badpasv": False, "rest": "350 ok", "retrs": []}
received = {}
def epsv(a):
    st["epsv"] += 1
    return "229 Entering Extended Passive Mode (|||99999|)" if st["epsv"] == 1 else "500 no EPSV"
def pasv_(a):
    st["active"] = None
    if st.pop("pending", False): accept_data().close()  # opened for a refused resume
    if st["badpasv"]:
        st["badpasv"] = False; return "227 Entering Passive Mode (127,0,0,1,999,1)"
    return "227 Entering Passive Mode (127,0,0,2,%d,%d)" % (data_port // 256, data_port % 256)
def eprt(a):
    st["eprt"] += 1
    if st["eprt"] == 1: return "500 EPRT not understood"
    _, proto, host, p, _ = a.split("|"); st["active"] = (host, int(p)); return "200 ok"
def listing(a):
    if a: accept_data().close(); return "501 no options here"
    if st["active"] is None:
        say("150 list"); send_data(b"-rw-r--r-- 1 u g 1 Jan 01 2020 one\r\n"); return "226 done"
    st["actives"] += 1
    if st["actives"] == 1: return "425 Can't open data connection."
    say("150 list")
    intruder = socket.socket(); intruder.bind(("127.0.0.2", 0)); intruder.connect(st["active"])
    try: intruder.sendall(b"-rw-r--r-- 1 u g 1 Jan 01 2020 evil.txt\r\n")
    except OSError: pass
    time.sleep(0.3); intruder.close()
    real = socket.create_connection(st["active"])
    real.sendall(b"-rw-r--r-- 1 u g 1 Jan 01 2020 real.txt\r\n"); real.close()
    return "226 done"
bodies = {"resumed.bin": b"r" * 300, "counted.bin": b"c" * 400, "exact.bin": b"exact", "ten.bin": b"0123456789",
          "part.bin": b"CORRUPTED"}
notes = {"counted.bin": " (1000 bytes)", "exact.bin": " (5 bytes)"}
sizes = {"resumed.bin": "213 1000", "ten.bin": "213 10", "part.bin": "213 20", "up.txt": "213 4"}
def retr(a):
    st["retrs"].append(a)
    if a == "f":  # gone without the final reply; the next login is welcome
        global conn, f
        say("150 sending"); send_data(b"partial"); conn.close()
        conn, _ = listener.accept(); f = conn.makefile("rb"); say("220 again"); return None
    if a in bodies:
        say("150 Opening BINARY mode data connection for %s%s" % (a, notes.get(a, "")))
        send_data(bodies[a]); return "226 Transfer complete"
    say("150 sending")
    d = accept_data(); d.sendall(b"x" * 3000); time.sleep(0.3); reset_close(d)
    return "426 connection reset" if a == "with-426.bin" else None
def stor(a):
    say("150 go ahead")
    if a == "big.bin":
        d = accept_data(); d.recv(1000); reset_close(d); return "426 connection reset"
    recv_data(); return "226 stored"
def rest(a):
    st["pending"] = st["rest"] != "350 ok"; return st["rest"]
def appe(a):
    st["pending"] = False; say("150 go ahead"); received[a] = recv_data(); return "226 appended"
def site(a):
    if a == "norest": st["rest"] = "502 REST not implemented"
    if a == "badpasv": st["badpasv"] = True
    if a.startswith("count "): return "200 retr=%d" % st["retrs"].count(a[6:])
    return "200 " + ",".join("%s:%s" % (k, v.decode()) for k, v in received.items())
serve({"EPSV": epsv, "PASV": pasv_, "EPRT": eprt, "PORT": lambda a: "500 no PORT either", "LIST": listing,
       "RETR": retr, "STOR": stor, "APPE": appe, "SITE": site, "REST": rest,
       "SIZE": lambda a: "213 %d" % (4 + len(received[a])) if a in received else sizes.get(a, "550 no size here"),
       "FEAT": lambda a: "211-f\r\n SIZE\r\n REST STREAM\r\n211 end"})
)PY"));
    ftp.Connect();
    // A malformed EPSV port: falling back to PASV and an error are both fine.
    FtpError error = ErrorOf([&] { EXPECT_EQ(Names(), QStringList{"one"}); });
    EXPECT_TRUE(error.number == 0 || error.number == kDataConnection) << error.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    ftp.SendCommand("SITE badpasv");
    EXPECT_EQ(ErrorOf([&] { ftp.FolderContents(); }).number, kDataConnection) << Log();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    // Still in step; the foreign host is replaced, and LIST -a refused once
    // (the command and the note in the log), then not asked again.
    EXPECT_EQ(Names(), QStringList{"one"}) << Log();
    EXPECT_EQ(Names(), QStringList{"one"}) << Log();
    EXPECT_EQ(log.filter("LIST -a").size(), 2) << Log();
    EXPECT_TRUE(Logged("127.0.0.2")) << "the replacement is logged";
    EXPECT_FALSE(foreign.waitForNewConnection(100)) << "the client connected to the foreign address";

    // Active mode: EPRT and PORT refused, then a 425, each falls back to
    // passive for that transfer; then a stranger's connection is turned away.
    ftp.setPassiveMode(false);
    EXPECT_EQ(Names(), QStringList{"one"});
    EXPECT_EQ(log.filter("refused active mode; this transfer uses passive mode").size(), 1);
    EXPECT_EQ(Names(), QStringList{"one"});
    EXPECT_EQ(log.filter("could not open the active data connection").size(), 1) << Log();
    EXPECT_EQ(Names(), QStringList{"real.txt"});
    EXPECT_EQ(log.filter("Refused a data connection from 127.0.0.2").size(), 1) << Log();
    EXPECT_FALSE(ftp.passiveMode()) << "the setting itself is not changed";
    ftp.setPassiveMode(true);

    // An upload the server drops half-way: an error, not SIGPIPE.
    ASSERT_TRUE(WriteTestFile(Local("big.bin"), QByteArray(64 << 20, 'u')));
    error = ErrorOf([&] { ftp.SendFile(Local("big.bin"), 0, "big.bin", false); });
    EXPECT_TRUE(error.number == kShortTransfer || error.number == kConnectionLost || error.number == kRefused)
        << error.number << " " << error.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected) << Log();

    // Short downloads: SIZE says 1000 and the resume from 100 brings 300;
    // the 150 reply announces 1000 and 400 come; it announces 5 and 5 come.
    ASSERT_TRUE(WriteTestFile(Local("resumed.bin"), QByteArray(100, 'L')));
    EXPECT_TRUE(FailsWith(kShortTransfer, "400 of 1000", [&] { ftp.ReceiveFile("resumed.bin", 100, Local("resumed.bin")); }));
    EXPECT_EQ(ReadTestFile(Local("resumed.bin")), QByteArray(100, 'L') + QByteArray(300, 'r'));
    EXPECT_TRUE(FailsWith(kShortTransfer, "400 of 1000", [&] { ftp.ReceiveFile("counted.bin", 0, Local("counted.bin")); }));
    EXPECT_TRUE(Succeeds([&] { ftp.ReceiveFile("exact.bin", 0, Local("exact.bin")); }));
    EXPECT_EQ(ReadTestFile(Local("exact.bin")), "exact");

    // ten.bin always comes whole, whatever REST said: a resume answered with
    // the whole file is an error and leaves the file as it was; nothing is
    // fetched to resume past the end of the server's file, or at it.
    const QString ten = Local("ten.bin");
    ASSERT_TRUE(WriteTestFile(ten, "0123"));
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFile("ten.bin", 4, ten); }).number, kProtocol);
    EXPECT_EQ(ReadTestFile(ten), "0123");
    ASSERT_TRUE(WriteTestFile(ten, "0123456789AB"));
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFile("ten.bin", 12, ten); }).number, kInvalidArgument);
    EXPECT_EQ(QFileInfo(ten).size(), 12);
    ASSERT_TRUE(WriteTestFile(ten, "0123456789"));
    EXPECT_TRUE(Succeeds([&] { ftp.ReceiveFile("ten.bin", 10, ten); }));
    ftp.SendCommand("SITE count ten.bin");
    EXPECT_TRUE(Logged("200 retr=1")) << Log();

    // REST refused: a download resume stops before RETR (whose bytes would
    // land at the wrong offset); an upload resume appends instead.
    ftp.SendCommand("SITE norest");
    ASSERT_TRUE(WriteTestFile(Local("part.bin"), "0123456789"));
    EXPECT_TRUE(FailsWith(kRefused, "502 REST not implemented", [&] { ftp.ReceiveFile("part.bin", 10, Local("part.bin")); }));
    EXPECT_EQ(ReadTestFile(Local("part.bin")), "0123456789");
    ftp.SendCommand("SITE count part.bin");
    EXPECT_TRUE(Logged("200 retr=0")) << Log();
    ASSERT_TRUE(WriteTestFile(Local("up.txt"), "0123456789"));
    EXPECT_TRUE(Succeeds([&] { ftp.SendFile(Local("up.txt"), 4, "up.txt", true); }));
    ftp.SendCommand("SITE show");
    EXPECT_TRUE(Logged("200 up.txt:456789")) << Log();

    // Data, then the server is gone without its final reply: not success.
    EXPECT_TRUE(FailsWith(kShortTransfer, "", [&] { ftp.ReceiveFile("f", 0, Local("f")); }));
    EXPECT_EQ(nDisconnected, 1);
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);

    // Downloads whose data connection is reset (after a 426, or with no
    // reply at all, which ends the session) fail and keep what arrived.
    ASSERT_TRUE(Succeeds([&] { ftp.Connect(); }));
    for (const char* name : {"with-426.bin", "silent.bin"}) {
        const FtpError e = ErrorOf([&] { ftp.ReceiveFile(QString::fromLatin1(name), 0, Local(name)); });
        EXPECT_NE(e.number, 0) << name << ": a reset transfer reported success";
        EXPECT_EQ(ReadTestFile(Local(name)), QByteArray(3000, 'x')) << name;
    }
}

// Over IPv6 (::1): EPSV for passive mode, EPRT |2| for active mode, and no
// PASV, which cannot name an IPv6 address. This server takes EPRT for
// |2|::1| only; EPSV is switched off by EPSV_ON = False.
static const char kIpv6Server[] = R"PY(
EPSV_ON = True
active = [None]
def eprt(a):
    _, proto, h, p, _ = a.split("|")
    active[0] = (h, int(p)) if proto == "2" and h == "::1" else None
    return "200 ok" if active[0] else "522 use |2|"
def epsv(a):
    active[0] = None
    return "229 ok (|||%d|)" % data_port if EPSV_ON else "500 no EPSV"
def listing(a):
    say("150 here")
    d = socket.create_connection(active[0], timeout=10) if active[0] else accept_data()
    d.sendall(b"-rw-r--r-- 1 u g 3 Jan 01 2020 six.txt\r\n"); d.close(); return "226 done"
serve({"EPRT": eprt, "EPSV": epsv, "PASV": lambda a: "500 PASV on IPv6? no", "LIST": listing})
)PY";

TEST(FtpIpv6Test, PassiveUsesEpsvOnlyActiveAnnouncesTheIpv6AddressAndNoEpsvIsAClearError)
{
    for (const bool bEpsv : {true, false}) {
        FtpClient client;
        QString body = QString::fromUtf8(kIpv6Server);
        if (!bEpsv) body.replace("EPSV_ON = True", "EPSV_ON = False");
        client.server = std::make_unique<ScriptedServer>("host = '::1'\n" + QString::fromUtf8(kPrelude) + body);
        ASSERT_TRUE(client.server->Start());
        PointAtServer(client.ftp, *client.server, 5'000);
        client.ftp.setServerAddress("::1");
        client.ftp.setUserName("u");
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.Connect(); }));
        const auto sent = [&](const char* verb) {
            return !client.log.filter(QRegularExpression(QStringLiteral("^%1( |$)").arg(QLatin1String(verb)))).isEmpty();
        };
        if (!bEpsv) {
            const FtpError e = ErrorOf([&] { client.ftp.FolderContents(); });
            EXPECT_EQ(e.number, kDataConnection) << "listing without EPSV over IPv6 claimed success";
            EXPECT_TRUE(e.description.contains("IPv6")) << e.description.toStdString();
            EXPECT_FALSE(sent("PASV"));
            EXPECT_EQ(client.ftp.state(), FtpComponent::kStateConnected) << "the connection stays usable";
            continue;
        }
        EXPECT_EQ(client.Names(), QStringList{"six.txt"});
        EXPECT_TRUE(sent("EPSV"));
        EXPECT_FALSE(sent("PASV"));
        client.ftp.setPassiveMode(false);
        EXPECT_EQ(client.Names(), QStringList{"six.txt"});
        EXPECT_TRUE(client.Logged("EPRT |2|::1|")) << client.Log();
        EXPECT_FALSE(sent("PORT")) << "PORT cannot carry an IPv6 address";
    }
}
