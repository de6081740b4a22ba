// The component against scripted servers that break the dialogue in ways
// real ones do, or misbehave on purpose: silence, dribbled or odd replies,
// dropped and reset connections, short, oversized or refused transfers,
// hostile listings and foreign data addresses, aborts and broken passive
// replies. Every wait is bounded by the component's own timeouts, set small
// here.
#include "FtpFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTcpServer>

namespace {

class FtpHardeningTest : public ::testing::Test, protected FtpClient {
protected:
    FtpHardeningTest()
    {
        QObject::connect(&ftp, &FtpComponent::logText, [this](const QString& line, long) {
            if (!m_sAbortOn.isEmpty() && line.startsWith(m_sAbortOn)) {
                m_sAbortOn.clear();
                ftp.setAbort(true);
            }
        });
    }
    // After a failure: the same component logs in to a well-behaved server.
    void ExpectNextConnectWorks()
    {
        m_good = std::make_unique<ScriptedServer>(QString::fromUtf8(kPrelude) + "serve({})\n");
        ASSERT_TRUE(m_good->Start());
        ftp.setPort(m_good->port());
        EXPECT_TRUE(Succeeds([&] { ftp.Connect(); }));
        EXPECT_EQ(ftp.currentFolder(), "/");
    }
    // A timeout may surface as kTimeout, or as a lost connection that says so.
    static bool IsTimeout(const FtpError& e)
    {
        return e.number == kTimeout || (e.number == kConnectionLost && e.description.contains("Timed out"));
    }

    std::unique_ptr<ScriptedServer> m_good;
    QString m_sAbortOn;  // the next log line starting with this sets the abort property
};

}  // namespace

TEST_F(FtpHardeningTest, BrokenGreetingsAndLoginsFailInBoundedTimeAndTheNextConnectWorks)
{
    // An open multi-line "120-" and then silence: were that half reply kept,
    // the next server's "220" would become one of its lines and the next
    // login would wait for a greeting that never comes. Then silence after
    // PASS, and a line that never ends (refused with bounded memory).
    const struct {
        const char* body;
        bool (*bExpected)(const FtpError&);
    } cases[] = {
        {"conn.sendall(b'120-service ready in a moment\\r\\n')\ntime.sleep(20)\n",
         [](const FtpError& e) { return e.number == kTimeout || e.number == kConnectionLost; }},
        {"serve({'PASS': lambda a: None})\n", &IsTimeout}, {"say('220-' + 'A' * 100000)\ntime.sleep(5)\n",
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

TEST_F(FtpHardeningTest, OddMultiLineRepliesKeepCommandsAndRepliesInStep)
{
    // Continuation lines without a code, lines starting with another code,
    // a coded "220-" line inside, and a reply that ends with a bare code.
    ASSERT_TRUE(Serve(R"PY(
greeting = ("220-Welcome to the odd server\r\nthis line has no code at all\r\n  indented text\r\n"
            "230 a different code, still the greeting\r\n220-a coded continuation\r\n220 ready")
feat = "211-Extensions supported:\r\n SIZE\r\n211-more follows\r\n500 not the end\r\n MDTM\r\n211 End"
where = ['/odd ""quoted"" home']
def cwd(a):
    where[0] = "/odd/" + a; return "250-first\r\n250-second\r\n250"
serve({"FEAT": lambda a: feat, "CWD": cwd, "PWD": lambda a: '257 "%s" is the current folder' % where[0],
       "NOOP": lambda a: "200 noop answered"}, greeting=greeting)
)PY"));
    ftp.Connect();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    EXPECT_EQ(ftp.currentFolder(), "/odd \"quoted\" home");
    ftp.ChangeFolder("sub");
    EXPECT_EQ(ftp.currentFolder(), "/odd/sub");
    log.clear();
    ftp.SendCommand("NOOP");
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.last(), "200 noop answered") << Log();
    EXPECT_FALSE(Logged("250")) << Log();
}

TEST_F(FtpHardeningTest, ServerShuttingDownMidSessionIsReportedOnceAndLogged)
{
    ASSERT_TRUE(Serve(R"PY(
def cwd(a):
    say("421 shutting down"); conn.close(); sys.exit(0)
serve({"CWD": cwd})
)PY"));
    const QString logFile = local.path() + "/Log/FTP.LOG";
    ftp.setLogFile(logFile);
    ftp.Connect();
    const FtpError error = ErrorOf([&] { ftp.ChangeFolder("pub"); });
    EXPECT_EQ(error.number, kConnectionLost);
    EXPECT_TRUE(error.description.contains("shutting down")) << error.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);
    EXPECT_TRUE(ftp.currentFolder().isEmpty());
    EXPECT_EQ(ErrorOf([&] { ftp.FolderContents(); }).number, kNotConnected);

    // The protocol log: every line time-stamped, the password never.
    const QString text = QString::fromUtf8(ReadTestFile(logFile));
    EXPECT_TRUE(text.contains("PASS ****"));
    EXPECT_FALSE(text.contains("secret"));
    EXPECT_TRUE(text.contains("421 shutting down"));
    EXPECT_TRUE(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} USER tester$",
                                   QRegularExpression::MultilineOption)
                    .match(text)
                    .hasMatch());
    ASSERT_NO_FATAL_FAILURE(ExpectNextConnectWorks());
    EXPECT_EQ(nDisconnected, 1) << "one drop, one event, and none for the new connection";
}

TEST_F(FtpHardeningTest, DataConnectionResetMidDownloadIsAnErrorAndKeepsThePart)
{
    // Both downloads send 3000 bytes, wait, then reset the data connection;
    // the first is followed by a 426, the second by nothing at all.
    ASSERT_TRUE(Serve(R"PY(
def retr(a):
    say("150 sending")
    d = accept_data(); d.sendall(b"x" * 3000); time.sleep(0.3); reset_close(d)
    return "426 connection reset" if a == "with-426.bin" else None
serve({"RETR": retr})
)PY"));
    ftp.Connect();
    for (const char* name : {"with-426.bin", "silent.bin"}) {
        SCOPED_TRACE(name);
        const QString local = Local(name);
        const FtpError error = ErrorOf([&] { ftp.ReceiveFile(QString::fromLatin1(name), 0, local); });
        EXPECT_NE(error.number, 0) << "a reset transfer reported success";
        EXPECT_EQ(ReadTestFile(local), QByteArray(3000, 'x')) << "what arrived is kept for a resume";
    }
}

TEST_F(FtpHardeningTest, ServerDroppingAnUploadHalfWayIsAnErrorNotACrash)
{
    // The server takes a little of the upload, then resets the data
    // connection: the rest of the file meets a closed connection (which
    // must not end the program with SIGPIPE) and the call fails.
    ASSERT_TRUE(Serve(R"PY(
def stor(a):
    say("150 go ahead")
    d = accept_data(); d.recv(1000); reset_close(d)
    return "426 connection reset"
serve({"STOR": stor})
)PY"));
    const QString local = Local("big.bin");
    ASSERT_TRUE(WriteTestFile(local, QByteArray(64 << 20, 'u')));
    ftp.Connect();
    const FtpError error = ErrorOf([&] { ftp.SendFile(local, 0, "big.bin", false); });
    EXPECT_NE(error.number, 0) << "a dropped upload reported success";
    EXPECT_TRUE(error.number == kShortTransfer || error.number == kConnectionLost || error.number == kRefused)
        << error.number << " " << error.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected) << Log();
}

TEST_F(FtpHardeningTest, AReplyAnAbortCutShortIsNotTakenForTheNextOne)
{
    // CWD slow answers late; the abort comes while it is awaited. The next
    // call must read its own reply, not the late 250.
    ASSERT_TRUE(Serve(R"PY(
def cwd(a):
    if a == "slow": time.sleep(0.6)
    return "250 ok"
serve({"CWD": cwd, "SYST": lambda a: "215 UNIX Type: L8"})
)PY"));
    ftp.Connect();
    m_sAbortOn = "CWD slow";
    EXPECT_EQ(ErrorOf([&] { ftp.ChangeFolder("slow"); }).number, kAborted);
    ftp.SendCommand("SYST");
    EXPECT_EQ(ftp.lastReplyCode(), 215) << Log();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
}

TEST_F(FtpHardeningTest, DownloadEndingBeforeTheAnnouncedSizeIsShort)
{
    // resumed.bin: SIZE says 1000, the resume from 100 brings 300 more.
    // counted.bin: no SIZE, the 150 reply announces 1000 bytes, 400 come.
    // exact.bin: the 150 reply announces 5 bytes and 5 come.
    ASSERT_TRUE(Serve(R"PY(
bodies = {"resumed.bin": b"r" * 300, "counted.bin": b"c" * 400, "exact.bin": b"exact"}
notes = {"counted.bin": " (1000 bytes)", "exact.bin": " (5 bytes)"}
def retr(a):
    say("150 Opening BINARY mode data connection for %s%s" % (a, notes.get(a, "")))
    send_data(bodies[a]); return "226 Transfer complete"
serve({"FEAT": lambda a: "211-f\r\n SIZE\r\n REST STREAM\r\n211 end", "REST": lambda a: "350 from " + a,
       "SIZE": lambda a: "213 1000" if a == "resumed.bin" else "550 no size here", "RETR": retr})
)PY"));
    ftp.Connect();
    const QString resumed = Local("resumed.bin");
    ASSERT_TRUE(WriteTestFile(resumed, QByteArray(100, 'L')));
    FtpError error = ErrorOf([&] { ftp.ReceiveFile("resumed.bin", 100, resumed); });
    EXPECT_EQ(error.number, kShortTransfer) << error.description.toStdString();
    EXPECT_TRUE(error.description.contains("400 of 1000")) << error.description.toStdString();
    EXPECT_EQ(ReadTestFile(resumed), QByteArray(100, 'L') + QByteArray(300, 'r'));

    error = ErrorOf([&] { ftp.ReceiveFile("counted.bin", 0, Local("counted.bin")); });
    EXPECT_EQ(error.number, kShortTransfer) << error.description.toStdString();
    EXPECT_TRUE(error.description.contains("400 of 1000")) << error.description.toStdString();

    error = ErrorOf([&] { ftp.ReceiveFile("exact.bin", 0, Local("exact.bin")); });
    EXPECT_EQ(error.number, 0) << error.description.toStdString();
    EXPECT_EQ(ReadTestFile(Local("exact.bin")), "exact");
}

TEST_F(FtpHardeningTest, RefusedRestLeavesThePartialFileAsItWas)
{
    // Were RETR sent after all, its bytes would land at the wrong offset.
    ASSERT_TRUE(Serve(R"PY(
retrs = []
def retr(a):
    retrs.append(a); say("150 sending"); send_data(b"CORRUPTED"); return "226 done"
serve({"REST": lambda a: "502 REST not implemented", "RETR": retr, "SITE": lambda a: "200 retr=%d" % len(retrs),
       "FEAT": lambda a: "211-f\r\n SIZE\r\n211 end", "SIZE": lambda a: "213 20"})
)PY"));
    ftp.Connect();
    const QString local = Local("part.bin");
    ASSERT_TRUE(WriteTestFile(local, "0123456789"));
    const FtpError error = ErrorOf([&] { ftp.ReceiveFile("part.bin", 10, local); });
    EXPECT_EQ(error.number, kRefused);
    EXPECT_TRUE(error.description.contains("502 REST not implemented")) << error.description.toStdString();
    EXPECT_EQ(ReadTestFile(local), "0123456789");
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    ftp.SendCommand("SITE count");
    EXPECT_TRUE(Logged("200 retr=0")) << Log();
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

    QStringList written;
    QDirIterator it(local.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) written << it.next().mid(local.path().size());
    written.sort();
    EXPECT_EQ(written, (QStringList{"/target/ok.txt", "/target/sub/deep.txt"}));
    EXPECT_EQ(ReadTestFile(Local("target/ok.txt")), QByteArray("from /dir/ok.txt"));
    EXPECT_EQ(ReadTestFile(Local("target/sub/deep.txt")), QByteArray("from /dir/sub/deep.txt"));
    EXPECT_TRUE(QDir(Local("canary")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    EXPECT_EQ(QDir(local.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              (QStringList{"canary", "target"}));
    for (const char* name : {"../x", "/abs/path", "a\\b", "sub/../../y", "../../z"}) {
        EXPECT_TRUE(Skipped(name, FtpComponent::kSkipUnsafeName)) << name << " was not reported skipped: " << skipped.join(' ').toStdString();
    }
    EXPECT_EQ(ftp.currentFolder(), "/") << "back where the call started";
}

TEST_F(FtpHardeningTest, AbortStopsListingAndDownloadAndTheConnectionStaysUsable)
{
    // The first LIST and slow.bin trickle for up to 30 s; once the client
    // drops the data connection the server says 426, and 226 to ABOR.
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
serve({"LIST": listing, "RETR": retr, "ABOR": lambda a: "226 ABOR processed"})
)PY"));
    ftp.Connect();
    m_sAbortOn = "150 here comes";
    FtpError error = ErrorOf([&] { ftp.FolderContents(); });
    EXPECT_EQ(error.number, kAborted) << error.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    log.clear();
    ftp.SendCommand("NOOP");
    EXPECT_EQ(log.value(log.size() - 1), "200 ok") << Log();
    QStringList names;
    for (const ListingEntry& e : ftp.FolderContents()) names << e.name;
    EXPECT_EQ(names, (QStringList{"after1", "after2"}));

    m_sAbortOn = "150 sending slowly";
    error = ErrorOf([&] { ftp.ReceiveFile("slow.bin", 0, Local("slow.bin")); });
    EXPECT_EQ(error.number, kAborted) << error.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    error = ErrorOf([&] { ftp.ReceiveFile("small.bin", 0, Local("small.bin")); });
    EXPECT_EQ(error.number, 0) << error.description.toStdString();
    EXPECT_EQ(ReadTestFile(Local("small.bin")), "small");
}

TEST_F(FtpHardeningTest, BrokenPassiveRepliesAreRefusedCleanly)
{
    // EPSV first names port 99999, then is refused; PASV's second answer has
    // a 999 in it. Listeners wait on the ports a client that cut those
    // numbers to 16 bits would reach (99999 and 999 * 256 + 1, mod 65536).
    QTcpServer wrapped, wrappedPasv;
    const bool bWatch = wrapped.listen(QHostAddress::LocalHost, 99999 % 65536);
    const bool bWatchPasv = wrappedPasv.listen(QHostAddress::LocalHost, (999 * 256 + 1) % 65536);
    ASSERT_TRUE(Serve(R"PY(
calls = {"EPSV": 0, "PASV": 0}
def epsv(a):
    calls["EPSV"] += 1
    return "229 Entering Extended Passive Mode (|||99999|)" if calls["EPSV"] == 1 else "500 no EPSV"
def bad_pasv(a):
    calls["PASV"] += 1
    return "227 Entering Passive Mode (127,0,0,1,999,1)" if calls["PASV"] == 2 else pasv()
def listing(a):
    say("150 list"); send_data(b"-rw-r--r-- 1 u g 1 Jan 01 2020 one\r\n"); return "226 done"
serve({"EPSV": epsv, "PASV": bad_pasv, "LIST": listing})
)PY"));
    ftp.Connect();
    // A malformed EPSV port: falling back to PASV and an error are both fine.
    QList<ListingEntry> entries;
    FtpError error = ErrorOf([&] { entries = ftp.FolderContents(); });
    if (error.number == 0) {
        ASSERT_EQ(entries.size(), 1);
        EXPECT_EQ(entries[0].name, "one");
    } else {
        EXPECT_EQ(error.number, kDataConnection) << error.description.toStdString();
    }
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);

    error = ErrorOf([&] { ftp.FolderContents(); });
    EXPECT_EQ(error.number, kDataConnection) << error.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    if (bWatch) {
        EXPECT_FALSE(wrapped.waitForNewConnection(100)) << "port 99999 was cut to 16 bits";
    }
    if (bWatchPasv) {
        EXPECT_FALSE(wrappedPasv.waitForNewConnection(100)) << "the PASV port was cut to 16 bits";
    }

    // The connection is still in step: the next listing works.
    error = ErrorOf([&] { entries = ftp.FolderContents(); });
    EXPECT_EQ(error.number, 0) << error.description.toStdString();
    EXPECT_EQ(entries.size(), 1);
}

TEST_F(FtpHardeningTest, PasvNamingAnotherHostIsNotFollowed)
{
    // A listener on 127.0.0.2 stands for the foreign host; nothing may reach it.
    QTcpServer foreign;
    ASSERT_TRUE(foreign.listen(QHostAddress("127.0.0.2"), 0));
    const QByteArray body = QStringLiteral(R"PY(
def foreign_pasv(a):
    return "227 Entering Passive Mode (127,0,0,2,%d,%d)" % (data_port // 256, data_port % 256)
def listing(a):
    if a: accept_data().close(); return "501 no options here"
    say("150 here it comes"); send_data(b"-rw-r--r-- 1 u g 5 Jan 01 2020 safe.txt\r\n"); return "226 done"
serve({"PASV": foreign_pasv, "LIST": listing})
)PY").toUtf8();
    ASSERT_TRUE(Serve(body.constData()));
    ftp.Connect();
    ftp.FolderContents();
    const QList<ListingEntry> entries = ftp.FolderContents();
    EXPECT_EQ(log.filter("LIST -a").size(), 2) << "refused once (and logged), then not asked again";
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].name, "safe.txt");
    EXPECT_FALSE(foreign.waitForNewConnection(200)) << "the client connected to the foreign address";
    EXPECT_TRUE(Logged("127.0.0.2")) << "the replacement is logged";
}

TEST_F(FtpHardeningTest, DownloadsAreCheckedAgainstTheServersSize)
{
    // ten.bin always comes whole, whatever REST said.
    ASSERT_TRUE(Serve(R"PY(
retrs = []
def retr(a):
    retrs.append(a); say("150 sending")
    send_data(b"0123456789"); return "226 all fine, honestly"
serve({"RETR": retr, "SIZE": lambda a: "213 10", "REST": lambda a: "350 ok",
       "FEAT": lambda a: "211-f\r\n SIZE\r\n REST STREAM\r\n211 end", "SITE": lambda a: "200 retr=%d" % len(retrs)})
)PY"));
    ftp.Connect();
    // A resume that the server answers with the whole file: an error, and
    // the file is as it was, a valid start of the server's.
    const QString ten = Local("ten.bin");
    ASSERT_TRUE(WriteTestFile(ten, "0123"));
    const FtpError ignored = ErrorOf([&] { ftp.ReceiveFile("ten.bin", 4, ten); });
    EXPECT_EQ(ignored.number, kProtocol) << ignored.description.toStdString();
    EXPECT_EQ(ReadTestFile(ten), "0123");
    // Nothing to resume past the end, or at it.
    ASSERT_TRUE(WriteTestFile(ten, "0123456789AB"));
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFile("ten.bin", 12, ten); }).number, kInvalidArgument);
    EXPECT_EQ(QFileInfo(ten).size(), 12);
    ASSERT_TRUE(WriteTestFile(ten, "0123456789"));
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFile("ten.bin", 10, ten); }).number, 0);
    log.clear();
    ftp.SendCommand("SITE count");
    EXPECT_TRUE(Logged("200 retr=1")) << Log();
}

TEST_F(FtpHardeningTest, DataWithoutTheFinalReplyIsNotSuccess)
{
    ASSERT_TRUE(Serve(R"PY(
def retr(a):
    say("150 sending"); send_data(b"partial"); conn.close(); sys.exit(0)
serve({"RETR": retr})
)PY"));
    ftp.Connect();
    const FtpError error = ErrorOf([&] { ftp.ReceiveFile("f", 0, Local("f")); });
    EXPECT_EQ(error.number, kShortTransfer) << error.description.toStdString();
    EXPECT_EQ(nDisconnected, 1);
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);
}

TEST_F(FtpHardeningTest, AccountAndPasswordQueriesAreAnsweredByTheOwner)
{
    ASSERT_TRUE(Serve(R"PY(
tries = []
def password(a):
    tries.append(a)
    return "332 account please" if a == "typed" else "530 wrong"
def account(a): return "230 welcome" if a == "acct-1" else "530 bad account"
serve({"PASS": password, "ACCT": account})
)PY"));
    int asked = 0;
    QObject::connect(&ftp, &FtpComponent::passwordQuery, [&](QString& sPassword) { ++asked, sPassword = "typed"; });
    QObject::connect(&ftp, &FtpComponent::accountQuery, [&](QString& sAccount) { ++asked, sAccount = "acct-1"; });
    ftp.Connect();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    EXPECT_FALSE(Logged("typed")) << "passwords never reach the log";
}

TEST_F(FtpHardeningTest, ResumedUploadAppendsWhereRestIsRefused)
{
    ASSERT_TRUE(Serve(R"PY(
received = {}
def appe(a):
    say("150 go ahead"); received[a] = recv_data(); return "226 appended"
def stor(a):
    say("150 go ahead"); recv_data(); return "226 stored"
def size(a):
    return "213 %d" % len(received.get(a, b""))
def site(a):
    return "200 " + ",".join("%s:%s" % (k, v.decode()) for k, v in received.items())
serve({"REST": lambda a: "502 no REST for uploads", "APPE": appe, "STOR": stor, "SITE": site, "SIZE": size,
       "FEAT": lambda a: "211 none"})
)PY"));
    ftp.Connect();
    ASSERT_TRUE(WriteTestFile(Local("up.txt"), "0123456789"));
    ftp.SendFile(Local("up.txt"), 4, "up.txt", true);
    log.clear();
    ftp.SendCommand("SITE show");
    EXPECT_TRUE(Logged("200 up.txt:456789")) << Log();
}

TEST_F(FtpHardeningTest, ActiveModeFallsBackToPassiveForThatTransferWhenRefused)
{
    ASSERT_TRUE(Serve(R"PY(
lists = []
def listing(a):
    lists.append(a)
    if len(lists) == 2: return "425 Can't open data connection."
    say("150 list"); send_data(b"-rw-r--r-- 1 u g 1 Jan 01 2020 f.txt\r\n"); return "226 done"
state = {"eprt": 0}
def eprt(a):
    state["eprt"] += 1
    return "500 EPRT not understood" if state["eprt"] == 1 else "200 ok"
serve({"EPRT": eprt, "PORT": lambda a: "500 no PORT either", "LIST": listing})
)PY"));
    ftp.setPassiveMode(false);
    ftp.Connect();
    // EPRT and PORT refused: this listing goes passive.
    EXPECT_EQ(ftp.FolderContents().size(), 1);
    EXPECT_EQ(log.filter("refused active mode; this transfer uses passive mode").size(), 1);
    // EPRT accepted but the server cannot connect (425): passive again.
    EXPECT_EQ(ftp.FolderContents().size(), 1);
    EXPECT_EQ(log.filter("could not open the active data connection").size(), 1) << Log();
    EXPECT_FALSE(ftp.passiveMode()) << "the setting itself is not changed";
}

TEST_F(FtpHardeningTest, ActiveModeTurnsAwayConnectionsFromOtherHosts)
{
    ASSERT_TRUE(Serve(R"PY(
target = {}
def eprt(a):
    _, proto, host, p, _ = a.split("|"); target["addr"] = (host, int(p)); return "200 ok"
def listing(a):
    say("150 list")
    intruder = socket.socket(); intruder.bind(("127.0.0.2", 0))
    intruder.connect(target["addr"])
    try: intruder.sendall(b"-rw-r--r-- 1 u g 1 Jan 01 2020 evil.txt\r\n")
    except OSError: pass
    time.sleep(0.3); intruder.close()
    real = socket.create_connection(target["addr"])
    real.sendall(b"-rw-r--r-- 1 u g 1 Jan 01 2020 real.txt\r\n"); real.close()
    return "226 done"
serve({"EPRT": eprt, "LIST": listing})
)PY"));
    ftp.setPassiveMode(false);
    ftp.Connect();
    const QList<ListingEntry> entries = ftp.FolderContents();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].name, "real.txt");
    EXPECT_EQ(log.filter("Refused a data connection from 127.0.0.2").size(), 1) << Log();
}

TEST_F(FtpHardeningTest, DropWhileIdleRaisesTheDisconnectedEvent)
{
    ASSERT_TRUE(Serve(R"PY(
def pwd(a):
    say('257 "/"'); time.sleep(0.3); say("421 Timeout."); conn.close(); sys.exit(0)
serve({"PWD": pwd})
)PY"));
    ftp.Connect();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    QDeadlineTimer wait(5'000);
    while (nDisconnected == 0 && !wait.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(nDisconnected, 1);
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);
    EXPECT_EQ(ftp.currentFolder(), QString());
}
