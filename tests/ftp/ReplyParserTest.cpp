// The control connection's reply parser, and the small rules the engine
// applies to names, masks and PWD replies.
#include "ftp/FtpSession.h"
#include "ftp/NameRules.h"
#include "ftp/ReplyParser.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// The replies the bytes complete, each as "code|text" (its lines joined by " / ").
QStringList FeedAll(ReplyParser& parser, const QByteArray& bytes)
{
    EXPECT_TRUE(parser.feed(bytes)) << parser.error().toStdString();
    QStringList replies;
    while (parser.hasReply()) {
        const FtpReply reply = parser.takeReply();
        replies << QStringLiteral("%1|%2").arg(reply.code).arg(reply.text().replace('\n', " / "));
    }
    return replies;
}

}  // namespace

TEST(ReplyParser, RepliesOfOneAndManyLinesInAnyPieces)
{
    // Inside a multi-line reply anything goes until "211 " closes it: lines
    // without a code, other codes, even the same code with '-'. A bare code
    // ends a reply too, and bare LF line ends are accepted.
    const QByteArray stream = "220 Welcome\r\n331 Password required\r\n"
                              "211-Features:\r\n MLST type*;size*;\r\n211-still inside\r\n200 not the end\r\n211 End\r\n"
                              "230-Hello\n230\n200\n150-Opening\r\n 150 inside\r\n150 data (12 bytes)\r\n226 Done\r\n";
    for (qsizetype piece : {stream.size(), 1LL, 2LL, 3LL, 5LL, 7LL}) {
        ReplyParser parser;
        QStringList replies;
        for (qsizetype i = 0; i < stream.size(); i += piece) replies << FeedAll(parser, stream.mid(i, piece));
        EXPECT_EQ(replies, (QStringList{"220|Welcome", "331|Password required",
                                        "211|Features: /  MLST type*;size*; / still inside / 200 not the end / End",
                                        "230|Hello", "200|", "150|Opening /  150 inside / data (12 bytes)", "226|Done"}))
            << piece;
    }
}

TEST(ReplyParser, BrokenOrHostileServersAreProtocolErrorsUntilReset)
{
    // A line that never ends and a multi-line reply that never closes (fed
    // in pieces: memory stays bounded), and lines that are no reply.
    const QByteArray endless = "220 " + QByteArray(20'000, 'x');
    const QByteArray unclosed = "211-start\r\n" + (QByteArray(500, 'y') + "\r\n").repeated(2000);
    for (const QByteArray& bytes : {endless, unclosed, QByteArray("HTTP/1.1 400 Bad Request\r\n"), QByteArray("2x0 hello\r\n"),
                                    QByteArray("220hello\r\n")}) {
        ReplyParser parser;
        bool bOk = true;
        for (qsizetype i = 0; i < bytes.size() && bOk; i += 1000) bOk = parser.feed(bytes.mid(i, 1000));
        EXPECT_FALSE(bOk) << bytes.left(20).toStdString();
        EXPECT_FALSE(parser.error().isEmpty());
        EXPECT_FALSE(parser.feed("220 ok\r\n")) << "nothing more is taken after an error";
        parser.reset();
        EXPECT_EQ(FeedAll(parser, "220 ok\r\n"), QStringList{"220|ok"});
    }
}

TEST(ReplyParser, TextIsUtf8OnlyWhenAgreed)
{
    const QByteArray utf8 = QStringLiteral("257 \"/Grüße\"\r\n").toUtf8();
    ReplyParser latin1, agreed;
    EXPECT_EQ(FeedAll(latin1, utf8), QStringList{"257|" + QString::fromLatin1(QStringLiteral("\"/Grüße\"").toUtf8())});
    agreed.setUtf8(true);
    EXPECT_EQ(FeedAll(agreed, utf8), QStringList{QStringLiteral("257|\"/Grüße\"")});
    // Invalid UTF-8 after agreeing falls back to Latin-1 instead of losing
    // bytes; so does UTF-8 cut off at the end of a name, which must not vanish.
    EXPECT_EQ(FeedAll(agreed, "257 \"/caf\xe9\"\r\n"), QStringList{QStringLiteral("257|\"/caf\u00e9\"")});
    EXPECT_EQ(DecodeServerText(QByteArray("caf\xc3"), true), QStringLiteral("caf\u00c3"));
}

TEST(EngineRules, PwdRepliesNamesMasksAndLocalPaths)
{
    for (const auto& [reply, folder] : {std::pair{"\"/home/user\" is the current directory", "/home/user"},
                                        {"\"/a \"\"quoted\"\" b\" is current", "/a \"quoted\" b"}, {"\"/with space\"", "/with space"}})
        EXPECT_EQ(FtpSession::ParsePwdReply(reply), folder) << reply;

    for (const char* bad : {"", ".", "..", "a/b", "../x", "a\\b", "/etc"}) EXPECT_FALSE(NameRules::IsSafeName(bad)) << bad;
    EXPECT_FALSE(NameRules::IsSafeName(QStringLiteral("nul") + QChar(0) + QStringLiteral("x")));
    for (const char* good : {"a", "...", "..a", "a b", ".hidden", "Grüße.txt", "-rf"})
        EXPECT_TRUE(NameRules::IsSafeName(QString::fromUtf8(good))) << good;

    // Every local name made from a server's name stays inside its folder.
    for (const auto& [folder, name, path] : {std::tuple{"/tmp/x/", "a.txt", "/tmp/x/a.txt"}, {"/tmp/x", ".a", "/tmp/x/.a"},
                                              {"/", "a", "/a"}, {"/tmp/x", "../../escaped.txt", ""}, {"/tmp/x", "..", ""},
                                              {"/tmp/x", ".", ""}, {"/tmp/x", "a/b", ""}, {"/tmp/x", "/etc/passwd", ""},
                                              {"/tmp/x", "", ""}, {"", "a", ""}})
        EXPECT_EQ(NameRules::LocalPath(folder, name).value_or("<none>"), *path ? path : "<none>") << folder << " " << name;

    // A pattern that is exponential for naive matchers stays quick here.
    for (const auto& [name, mask, bMatch] : {std::tuple{"photo.gif", "*.gif", true}, {"photo.GIF", "*.gif", false},
                                             {"a1.txt", "a?.txt", true}, {"a12.txt", "a?.txt", false}, {"anything", "", true},
                                             {"no-dot", "*.*", true}, {"abcabcabd", "*abd", true},
                                             {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*a*ac", false}})
        EXPECT_EQ(NameRules::MatchesMask(name, mask), bMatch) << name << " " << mask;

    for (const auto& [mask, folder, pattern] : {std::tuple{"docs/*", "docs", "*"}, {"my docs\\*.txt", "my docs", "*.txt"},
                                                {"/srv/a/b/*", "/srv/a/b", "*"}, {"plain", "plain", "*"}, {"/*", "/", "*"}}) {
        QString sFolder, sPattern;
        NameRules::SplitMask(mask, sFolder, sPattern);
        EXPECT_EQ(sFolder + "|" + sPattern, QStringLiteral("%1|%2").arg(folder, pattern)) << mask;
    }
}

TEST(ReplyParser, PassiveRepliesGiveOnlyUsablePorts)
{
    const auto reply = [](int code, const char* text) { return FtpReply{code, {QString::fromLatin1(text)}}; };
    EXPECT_EQ(ParseEpsvPort(reply(229, "229 Entering Extended Passive Mode (|||50123|)")), 50123);
    EXPECT_EQ(ParseEpsvPort(reply(229, "229 ok (!!!21!)")), 21) << "any delimiter, the same four times";
    for (const char* bad : {"229 (|||0|)", "229 (|||65536|)", "229 (||50123|)", "229 (|!|50123|)", "229 nothing"})
        EXPECT_EQ(ParseEpsvPort(reply(229, bad)), 0) << bad;
    EXPECT_EQ(ParseEpsvPort(reply(227, "227 (|||50123|)")), 0) << "only a 229 is an EPSV answer";

    const auto target = ParsePasvReply(QStringLiteral("Entering Passive Mode (127,0,0,2,195,80)."));
    ASSERT_TRUE(target);
    EXPECT_EQ(target->sAddress, QStringLiteral("127.0.0.2"));
    EXPECT_EQ(target->nPort, 195 * 256 + 80);
    EXPECT_TRUE(ParsePasvReply(QStringLiteral("=127,0,0,1,4,1")).has_value()) << "no brackets needed";
    for (const char* bad : {"(127,0,0,1,256,1)", "(127,0,0,1,4)", "(300,0,0,1,4,1)", "no numbers"})
        EXPECT_FALSE(ParsePasvReply(QLatin1String(bad)).has_value()) << bad;
}
