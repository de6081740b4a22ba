#pragma once

// What the engine tests stand on: the component pointed at a loopback server
// (real or scripted) with short timeouts (PointAtServer.h), its log and skipped items collected,
// a local folder, and the FtpError a call throws.
#include "../ftp/ScriptedFtp.h"
#include "FtpTestServers.h"
#include "PointAtServer.h"
#include "TestFiles.h"
#include "ftp/FtpComponent.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace FtpErrorNumber;

// The FtpError a call throws, or number 0 when it does not throw.
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

// A call that must fail with error nNumber, its description containing sPart.
template <typename Call>
testing::AssertionResult FailsWith(long nNumber, const QString& sPart, Call call)
{
    const FtpError e = ErrorOf(call);
    if (e.number == nNumber && e.description.contains(sPart)) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "error " << e.number << ": " << e.description.toStdString();
}

// Starts a server in a test body: skipped when the server's program is
// missing (or needs root it does not have), failed when it did not come up.
#define KELVO_START_OR_SKIP(server)                                                                    \
    do {                                                                                               \
        if (!(server).Start()) {                                                                       \
            if (!(server).skipReason().isEmpty()) GTEST_SKIP() << (server).skipReason().toStdString(); \
            FAIL() << "the test server did not start";                                                 \
        }                                                                                              \
    } while (false)

inline QByteArray RandomBytes(qint64 nSize, quint32 nSeed)
{
    QByteArray data(nSize, Qt::Uninitialized);
    QRandomGenerator random(nSeed);
    for (char& c : data) c = static_cast<char>(random.generate());
    return data;
}

// A component with what it logged and skipped ("remote|local|reason"), the
// certificates it asked about (answered with bTrust), and a local folder.
// Serve() starts a scripted server (ScriptedFtp.h's prelude and a body) and
// points the component at it.
struct FtpClient {
    FtpComponent ftp;
    QStringList log, skipped;
    int nDisconnected = 0;
    QList<CertificateInfo> asked;
    bool bTrust = true;
    QTemporaryDir local;
    std::unique_ptr<FtpTestServer> server;

    FtpClient()
    {
        QObject::connect(&ftp, &FtpComponent::logText, [this](const QString& s, long) { log << s; });
        QObject::connect(&ftp, &FtpComponent::itemSkipped, [this](const QString& r, const QString& l, long n) {
            skipped << QStringLiteral("%1|%2|%3").arg(r, l).arg(n);
        });
        QObject::connect(&ftp, &FtpComponent::disconnected, [this] { ++nDisconnected; });
        QObject::connect(&ftp, &FtpComponent::certificateQuery, [this](const CertificateInfo& info, bool& bAnswer) {
            asked << info, bAnswer = bTrust;
        });
    }
    ~FtpClient()
    {
        if (ftp.state() != FtpComponent::kStateNotConnected) ErrorOf([&] { ftp.Disconnect(); });
    }
    bool Serve(const char* body, int nTimeoutMs = 2'000)
    {
        server = std::make_unique<ScriptedServer>(QString::fromUtf8(kPrelude) + QString::fromUtf8(body));
        if (!server->Start()) return false;
        PointAtServer(ftp, *server, nTimeoutMs);
        ftp.setConnectTimeout(nTimeoutMs);
        ftp.setUserName("tester");
        ftp.setPassword("secret");
        return true;
    }
    // A call that must succeed; when it fails, the error and the log say why.
    testing::AssertionResult Succeeds(const std::function<void()>& call)
    {
        const FtpError error = ErrorOf(call);
        if (error.number == 0) return testing::AssertionSuccess();
        return testing::AssertionFailure() << error.number << " " << error.description.toStdString() << "\n" << Log();
    }
    std::string Log() const { return log.join(QLatin1Char('\n')).toStdString(); }
    bool Logged(const QString& sPart) const
    {
        return std::any_of(log.begin(), log.end(), [&](const QString& line) { return line.contains(sPart); });
    }
    // Whether an item whose remote or local name ends with sName was skipped for nReason.
    bool Skipped(const QString& sName, long nReason) const
    {
        return std::any_of(skipped.begin(), skipped.end(), [&](const QString& s) {
            const QStringList parts = s.split(QLatin1Char('|'));
            return parts.value(2).toLong() == nReason && (parts[0].endsWith(sName) || parts[1].endsWith(sName));
        });
    }
    QString Local(const QString& sRelative) const { return local.filePath(sRelative); }
    QString Remote(const QString& sRelative) const { return server->root() + QLatin1Char('/') + sRelative; }
    QStringList Names(const QString& sMask = QString())
    {
        QStringList names;
        for (const ListingEntry& entry : ftp.FolderContents(sMask)) names << entry.name;
        return names;
    }
};
