// The component against small scripted servers that misbehave on purpose:
// foreign PASV addresses, hostile names, silence, short transfers, floods.
#include "FtpTestServers.h"
#include "ScriptedFtp.h"
#include "ftp/FtpComponent.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace FtpErrorNumber;

class FtpSafetyTest : public ::testing::Test {
protected:
    // Starts the scripted server (prelude + body) and points the component at it.
    void Serve(const char* body)
    {
        m_server = std::make_unique<ScriptedServer>(QString::fromUtf8(kPrelude) + QString::fromUtf8(body));
        ASSERT_TRUE(m_server->Start());
        m_ftp.setServerAddress(m_server->host());
        m_ftp.setPort(m_server->port());
        m_ftp.setUserName(QStringLiteral("tester"));
        m_ftp.setPassword(QStringLiteral("secret"));
        m_ftp.setConnectTimeout(5'000);
        m_ftp.setIdleTimeout(5'000);
        QObject::connect(&m_ftp, &FtpComponent::logText, [this](const QString& line, long) { m_log << line; });
        QObject::connect(&m_ftp, &FtpComponent::itemSkipped, [this](const QString& remote, const QString&, long reason) {
            m_skipped << QStringLiteral("%1|%2").arg(remote).arg(reason);
        });
    }
    template <typename Call>
    FtpError ErrorOf(Call call)
    {
        try {
            call();
        } catch (const FtpError& e) {
            return e;
        }
        return FtpError{0, QString()};
    }
    QString Log() const { return m_log.join(QLatin1Char('\n')); }

    std::unique_ptr<ScriptedServer> m_server;
    FtpComponent m_ftp;
    QTemporaryDir m_local;
    QStringList m_log, m_skipped;
};

}  // namespace

TEST_F(FtpSafetyTest, PasvNamingAnotherHostIsNotFollowed)
{
    // A listener on 127.0.0.2 stands for the foreign host; nothing may reach it.
    QTcpServer foreign;
    ASSERT_TRUE(foreign.listen(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    const QByteArray body = QStringLiteral(R"PY(
def foreign_pasv(a):
    return "227 Entering Passive Mode (127,0,0,2,%d,%d)" % (data_port // 256, data_port % 256)
def listing(a):
    if a: accept_data().close(); return "501 no options here"
    say("150 here it comes"); send_data(b"-rw-r--r-- 1 u g 5 Jan 01 2020 safe.txt\r\n"); return "226 done"
serve({"PASV": foreign_pasv, "LIST": listing})
)PY").toUtf8();
    ASSERT_NO_FATAL_FAILURE(Serve(body.constData()));
    m_ftp.Connect();
    m_ftp.FolderContents();
    const QList<ListingEntry> entries = m_ftp.FolderContents();
    EXPECT_EQ(m_log.filter(QStringLiteral("LIST -a")).size(), 2) << "refused once (and logged), then not asked again";
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].name, QStringLiteral("safe.txt"));
    EXPECT_FALSE(foreign.waitForNewConnection(200)) << "the client connected to the foreign address";
    EXPECT_TRUE(Log().contains(QStringLiteral("127.0.0.2"))) << "the replacement is logged";
}

TEST_F(FtpSafetyTest, HostileNamesInAListingWriteNothingOutsideTheTarget)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
names = ["../escaped.txt", "a/b.txt", "..", ".", "sub\\..\\..\\x.txt", "/etc/owned", "ok.txt"]
def listing(a):
    say("150 list")
    send_data("".join("-rw-r--r-- 1 u g 2 Jan 01 2020 %s\r\n" % n for n in names).encode())
    return "226 done"
def retr(a):
    if a != "ok.txt": return "550 not for you"
    say("150 sending"); send_data(b"ok"); return "226 done"
serve({"LIST": listing, "RETR": retr, "SIZE": lambda a: "550 no"})
)PY"));
    m_ftp.Connect();
    const QString target = m_local.path() + QStringLiteral("/inside/target");
    m_ftp.ReceiveFolder(QStringLiteral("dir/*"), target, true);

    QStringList written;
    QDirIterator it(m_local.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) written << it.next().mid(m_local.path().size());
    EXPECT_EQ(written, QStringList{QStringLiteral("/inside/target/ok.txt")});
    EXPECT_EQ(m_skipped.filter(QStringLiteral("|%1").arg(FtpComponent::kSkipUnsafeName)).size(), 4)
        << m_skipped.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/etc/owned")));
}

TEST_F(FtpSafetyTest, SilentServerTimesOutAndTheNextConnectWorks)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
time.sleep(20)
)PY"));
    m_ftp.setConnectTimeout(700);
    const FtpError silent = ErrorOf([&] { m_ftp.Connect(); });
    EXPECT_TRUE(silent.number == kTimeout || silent.number == kConnectionLost) << silent.number;
    EXPECT_EQ(m_ftp.state(), FtpComponent::kStateNotConnected);

    ScriptedServer good(QString::fromUtf8(kPrelude) + QStringLiteral("serve({})\n"));
    ASSERT_TRUE(good.Start());
    m_ftp.setPort(good.port());
    m_ftp.setConnectTimeout(5'000);
    m_ftp.Connect();
    EXPECT_EQ(m_ftp.state(), FtpComponent::kStateConnected);
}

TEST_F(FtpSafetyTest, DownloadsAreCheckedAgainstTheServersSize)
{
    // big.bin stops half-way; ten.bin always comes whole, whatever REST said.
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
retrs = []
def retr(a):
    retrs.append(a); say("150 sending")
    send_data(b"x" * 500 if a == "big.bin" else b"0123456789"); return "226 all fine, honestly"
serve({"RETR": retr, "SIZE": lambda a: "213 1000" if a == "big.bin" else "213 10", "REST": lambda a: "350 ok",
       "FEAT": lambda a: "211-f\r\n SIZE\r\n REST STREAM\r\n211 end", "SITE": lambda a: "200 retr=%d" % len(retrs)})
)PY"));
    m_ftp.Connect();
    const QString local = m_local.path() + QStringLiteral("/part.bin");
    const FtpError shortened = ErrorOf([&] { m_ftp.ReceiveFile(QStringLiteral("big.bin"), 0, local); });
    EXPECT_EQ(shortened.number, kShortTransfer);
    EXPECT_TRUE(shortened.description.contains(QStringLiteral("500 of 1000"))) << shortened.description.toStdString();
    EXPECT_EQ(QFileInfo(local).size(), 500);

    // A resume that the server answers with the whole file: an error, and
    // the file is as it was, a valid start of the server's.
    const QString ten = m_local.path() + QStringLiteral("/ten.bin");
    const auto write = [&](const QByteArray& data) {
        QFile file(ten);
        return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
    };
    ASSERT_TRUE(write("0123"));
    const FtpError ignored = ErrorOf([&] { m_ftp.ReceiveFile(QStringLiteral("ten.bin"), 4, ten); });
    EXPECT_EQ(ignored.number, kProtocol) << ignored.description.toStdString();
    QFile file(ten);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("0123"));
    file.close();
    // Nothing to resume past the end, or at it.
    ASSERT_TRUE(write("0123456789AB"));
    EXPECT_EQ(ErrorOf([&] { m_ftp.ReceiveFile(QStringLiteral("ten.bin"), 12, ten); }).number, kInvalidArgument);
    EXPECT_EQ(QFileInfo(ten).size(), 12);
    ASSERT_TRUE(write("0123456789"));
    EXPECT_EQ(ErrorOf([&] { m_ftp.ReceiveFile(QStringLiteral("ten.bin"), 10, ten); }).number, 0);
    m_log.clear();
    m_ftp.SendCommand(QStringLiteral("SITE count"));
    EXPECT_TRUE(Log().contains(QStringLiteral("200 retr=2"))) << Log().toStdString();
}

TEST_F(FtpSafetyTest, DataWithoutTheFinalReplyIsNotSuccess)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
def retr(a):
    say("150 sending"); send_data(b"partial"); conn.close(); sys.exit(0)
serve({"RETR": retr})
)PY"));
    m_ftp.Connect();
    bool bDisconnected = false;
    QObject::connect(&m_ftp, &FtpComponent::disconnected, [&] { bDisconnected = true; });
    const FtpError error = ErrorOf([&] { m_ftp.ReceiveFile(QStringLiteral("f"), 0, m_local.path() + QStringLiteral("/f")); });
    EXPECT_EQ(error.number, kShortTransfer) << error.description.toStdString();
    EXPECT_TRUE(bDisconnected);
    EXPECT_EQ(m_ftp.state(), FtpComponent::kStateNotConnected);
}

TEST_F(FtpSafetyTest, EndlessReplyLineIsRefusedWithBoundedMemory)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
say("220-" + "A" * 100000)
time.sleep(5)
)PY"));
    const FtpError error = ErrorOf([&] { m_ftp.Connect(); });
    EXPECT_EQ(error.number, kConnectionLost);
    EXPECT_TRUE(error.description.contains(QStringLiteral("longer than"))) << error.description.toStdString();
}

TEST_F(FtpSafetyTest, AccountAndPasswordQueriesAreAnsweredByTheOwner)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
tries = []
def password(a):
    tries.append(a)
    return "332 account please" if a == "typed" else "530 wrong"
def account(a): return "230 welcome" if a == "acct-1" else "530 bad account"
serve({"PASS": password, "ACCT": account})
)PY"));
    int asked = 0;
    QObject::connect(&m_ftp, &FtpComponent::passwordQuery, [&](QString& sPassword) {
        ++asked;
        sPassword = QStringLiteral("typed");
    });
    QObject::connect(&m_ftp, &FtpComponent::accountQuery, [&](QString& sAccount) {
        ++asked;
        sAccount = QStringLiteral("acct-1");
    });
    m_ftp.Connect();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(m_ftp.state(), FtpComponent::kStateConnected);
    EXPECT_FALSE(Log().contains(QStringLiteral("typed"))) << "passwords never reach the log";
}

TEST_F(FtpSafetyTest, ServerDroppingAnIdleConnectionIsReported)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
def noop(a):
    say("421 idle too long"); conn.close(); sys.exit(0)
serve({"NOOP": noop})
)PY"));
    const QString logFile = m_local.path() + QStringLiteral("/Log/FTP.LOG");
    m_ftp.setLogFile(logFile);
    m_ftp.Connect();
    int dropped = 0;
    QObject::connect(&m_ftp, &FtpComponent::disconnected, [&] { ++dropped; });
    const FtpError error = ErrorOf([&] { m_ftp.SendCommand(QStringLiteral("NOOP")); });
    EXPECT_EQ(error.number, kConnectionLost);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(m_ftp.state(), FtpComponent::kStateNotConnected);
    EXPECT_EQ(ErrorOf([&] { m_ftp.FolderContents(); }).number, kNotConnected);

    QFile log(logFile);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("PASS ****")));
    EXPECT_FALSE(text.contains(QStringLiteral("secret")));
    EXPECT_TRUE(text.contains(QStringLiteral("421 idle too long")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} USER tester$"),
                                   QRegularExpression::MultilineOption)
                    .match(text)
                    .hasMatch());
}

TEST_F(FtpSafetyTest, ResumedUploadAppendsWhereRestIsRefused)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
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
    m_ftp.Connect();
    QFile file(m_local.path() + QStringLiteral("/up.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789");
    file.close();
    m_ftp.SendFile(file.fileName(), 4, QStringLiteral("up.txt"), true);
    m_log.clear();
    m_ftp.SendCommand(QStringLiteral("SITE show"));
    EXPECT_TRUE(Log().contains(QStringLiteral("200 up.txt:456789"))) << Log().toStdString();
}

TEST_F(FtpSafetyTest, ActiveModeFallsBackToPassiveForThatTransferWhenRefused)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
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
    m_ftp.setPassiveMode(false);
    m_ftp.Connect();
    // EPRT and PORT refused: this listing goes passive.
    EXPECT_EQ(m_ftp.FolderContents().size(), 1);
    EXPECT_EQ(m_log.filter(QStringLiteral("refused active mode; this transfer uses passive mode")).size(), 1);
    // EPRT accepted but the server cannot connect (425): passive again.
    EXPECT_EQ(m_ftp.FolderContents().size(), 1);
    EXPECT_EQ(m_log.filter(QStringLiteral("could not open the active data connection")).size(), 1) << Log().toStdString();
    EXPECT_FALSE(m_ftp.passiveMode()) << "the setting itself is not changed";
}

TEST_F(FtpSafetyTest, ActiveModeTurnsAwayConnectionsFromOtherHosts)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
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
    m_ftp.setPassiveMode(false);
    m_ftp.Connect();
    const QList<ListingEntry> entries = m_ftp.FolderContents();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].name, QStringLiteral("real.txt"));
    EXPECT_EQ(m_log.filter(QStringLiteral("Refused a data connection from 127.0.0.2")).size(), 1) << Log().toStdString();
}

TEST_F(FtpSafetyTest, DropWhileIdleRaisesTheDisconnectedEvent)
{
    ASSERT_NO_FATAL_FAILURE(Serve(R"PY(
def pwd(a):
    say('257 "/"'); time.sleep(0.3); say("421 Timeout."); conn.close(); sys.exit(0)
serve({"PWD": pwd})
)PY"));
    int dropped = 0;
    QObject::connect(&m_ftp, &FtpComponent::disconnected, [&] { ++dropped; });
    m_ftp.Connect();
    EXPECT_EQ(m_ftp.state(), FtpComponent::kStateConnected);
    QDeadlineTimer wait(5'000);
    while (dropped == 0 && !wait.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(dropped, 1);
    EXPECT_EQ(m_ftp.state(), FtpComponent::kStateNotConnected);
    EXPECT_EQ(m_ftp.currentFolder(), QString());
}
