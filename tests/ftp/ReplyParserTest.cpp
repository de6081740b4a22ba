// The control connection's reply parser, and the small rules the engine
// applies to names, masks and PWD replies.
#include "ftp/FtpSession.h"
#include "ftp/NameRules.h"
#include "ftp/ReplyParser.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

QList<FtpReply> FeedAll(ReplyParser& parser, const QByteArray& bytes)
{
    EXPECT_TRUE(parser.feed(bytes)) << parser.error().toStdString();
    QList<FtpReply> replies;
    while (parser.hasReply()) replies << parser.takeReply();
    return replies;
}

}  // namespace

TEST(ReplyParser, SingleAndMultiLineReplies)
{
    ReplyParser parser;
    QList<FtpReply> replies = FeedAll(parser, "220 Welcome\r\n331 Password required\r\n");
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(replies[0].code, 220);
    EXPECT_EQ(replies[0].text(), QStringLiteral("Welcome"));
    EXPECT_EQ(replies[1].code, 331);

    // Inside a multi-line reply anything goes until "211 " closes it:
    // lines without a code, other codes, even the same code with '-'.
    replies = FeedAll(parser, "211-Features:\r\n MLST type*;size*;\r\n211-still inside\r\n200 not the end\r\n"
                      "211 End\r\n");
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].code, 211);
    EXPECT_EQ(replies[0].lines.size(), 5);
    EXPECT_EQ(replies[0].lines[1], QStringLiteral(" MLST type*;size*;"));

    // A bare code ends a reply too, and bare LF line ends are accepted.
    replies = FeedAll(parser, "230-Hello\n230\n200\n");
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(replies[0].code, 230);
    EXPECT_EQ(replies[1].code, 200);
    EXPECT_TRUE(replies[1].text().isEmpty());
    EXPECT_FALSE(parser.hasReply());
}

TEST(ReplyParser, RepliesSplitAcrossReadsInAnyPieces)
{
    const QByteArray stream = "150-Opening\r\n 150 inside\r\n150 data (12 bytes)\r\n226 Done\r\n";
    for (qsizetype piece = 1; piece <= 7; ++piece) {
        ReplyParser parser;
        QList<FtpReply> replies;
        for (qsizetype i = 0; i < stream.size(); i += piece) replies << FeedAll(parser, stream.mid(i, piece));
        ASSERT_EQ(replies.size(), 2) << piece;
        EXPECT_EQ(replies[0].code, 150);
        EXPECT_EQ(replies[0].lines.size(), 3);
        EXPECT_EQ(replies[1].code, 226);
    }
}

TEST(ReplyParser, BrokenOrHostileServersAreProtocolErrors)
{
    ReplyParser endless;
    EXPECT_TRUE(endless.feed("220 "));
    bool bOk = true;
    for (int i = 0; i < 20 && bOk; ++i) bOk = endless.feed(QByteArray(1000, 'x'));
    EXPECT_FALSE(bOk) << "a line that never ends";
    EXPECT_TRUE(endless.error().contains(QStringLiteral("longer than")));
    EXPECT_FALSE(endless.feed("\r\n")) << "nothing more is taken after an error";

    ReplyParser huge;
    ASSERT_TRUE(huge.feed("211-start\r\n"));
    bOk = true;
    for (int i = 0; i < 2000 && bOk; ++i) bOk = huge.feed(QByteArray(500, 'y') + "\r\n");
    EXPECT_FALSE(bOk) << "a multi-line reply that never closes";

    ReplyParser junk;
    EXPECT_FALSE(junk.feed("HTTP/1.1 400 Bad Request\r\n"));
    ReplyParser badCode;
    EXPECT_FALSE(badCode.feed("2x0 hello\r\n"));
    ReplyParser noSpace;
    EXPECT_FALSE(noSpace.feed("220hello\r\n"));

    ReplyParser recovered;
    recovered.feed("bad\r\n");
    recovered.reset();
    EXPECT_EQ(FeedAll(recovered, "220 ok\r\n").size(), 1);
}

TEST(ReplyParser, TextIsUtf8OnlyWhenAgreed)
{
    const QByteArray utf8 = QStringLiteral("257 \"/Grüße\"\r\n").toUtf8();
    ReplyParser latin1;
    EXPECT_EQ(FeedAll(latin1, utf8)[0].text(), QString::fromLatin1(QStringLiteral("\"/Grüße\"").toUtf8()));
    ReplyParser agreed;
    agreed.setUtf8(true);
    EXPECT_EQ(FeedAll(agreed, utf8)[0].text(), QStringLiteral("\"/Grüße\""));
    // Invalid UTF-8 after agreeing falls back to Latin-1 instead of losing bytes.
    EXPECT_EQ(FeedAll(agreed, "257 \"/caf\xe9\"\r\n")[0].text(), QStringLiteral("\"/caf\u00e9\""));
    // So does UTF-8 cut off at the end of a name, which must not vanish.
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
