// The local Properties sheet and the Find Files dialog.
#include "local/frmFindFiles.h"
#include "local/frmProperties.h"

#include "ScriptedPrompter.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <unistd.h>

namespace {

void Write(const QString& sPath, const QByteArray& data = QByteArray("abc"))
{
    QDir().mkpath(QFileInfo(sPath).absolutePath());
    QFile file(sPath);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(sPath));
    file.write(data);
}

QString Label(const QWidget& form, const char* sName)
{
    const auto* label = form.findChild<QLabel*>(QLatin1String(sName));
    return label ? label->text() : QStringLiteral("<no %1>").arg(QLatin1String(sName));
}

QList<frmProperties*> OpenSheets()
{
    QList<frmProperties*> sheets;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* sheet = qobject_cast<frmProperties*>(widget); sheet && sheet->isVisible()) sheets.append(sheet);
    return sheets;
}

// Runs one search to its end and gives the found files relative to sRoot, sorted.
QStringList Search(frmFindFiles& dialog, const QString& sRoot, const QString& sPattern, bool bSubfolders)
{
    dialog.findChild<QLineEdit*>(QStringLiteral("txtPattern"))->setText(sPattern);
    dialog.findChild<QCheckBox*>(QStringLiteral("chkSubfolders"))->setChecked(bSubfolders);
    QSignalSpy finished(&dialog, &frmFindFiles::SearchFinished);
    dialog.findChild<QPushButton*>(QStringLiteral("cmdFind"))->click();
    if (!finished.wait(20000)) return {QStringLiteral("<search did not finish>")};
    QStringList found;
    for (const QString& sPath : dialog.ResultPaths()) found.append(QDir(sRoot).relativeFilePath(sPath));
    found.sort();
    return found;
}

}  // namespace

class tst_LocalDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void propertiesOfAFile();
    void propertiesOfFoldersAndLinks();
    void missingPathGivesAMessageInsteadOfASheet();
    void findsByPatternsBelowTheStartFolder();
    void largeSearchesRunInSlicesStopAndLimit();
    void linkedFoldersAreNotEntered();
    void resultsOpenAndRevealThroughTheOpener();
};

void tst_LocalDialogs::propertiesOfAFile()
{
    TestEnvironment env;
    const QString sFile = env.path(QStringLiteral("docs/report.txt"));
    Write(sFile, QByteArray(12345, 'x'));
    const QDateTime modified(QDate(2021, 3, 4), QTime(5, 6, 7));
    {
        QFile file(sFile);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    }
    QVERIFY(QFile::setPermissions(sFile, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ExeOther));

    frmProperties sheet(sFile);
    QCOMPARE(Label(sheet, "lblName"), QStringLiteral("report.txt"));
    QCOMPARE(Label(sheet, "lblPath"), QDir::toNativeSeparators(sFile));
    QCOMPARE(Label(sheet, "lblType"), QStringLiteral("File (.txt)"));
    QVERIFY2(Label(sheet, "lblSize").endsWith(QStringLiteral("(12,345 bytes)")), qPrintable(Label(sheet, "lblSize")));
    QCOMPARE(Label(sheet, "lblModified"), QStringLiteral("2021-03-04 05:06:07"));
    QCOMPARE(Label(sheet, "lblPermissions"), QStringLiteral("rw-r----x (0641)"));
    QVERIFY(Label(sheet, "lblOwner").contains(QStringLiteral("(%1)").arg(::getuid())));
    QVERIFY(!Label(sheet, "lblCreated").isEmpty());

    // Sizes beyond 32 bits (a sparse file takes no room).
    const QString sBig = env.path(QStringLiteral("big.img"));
    {
        QFile big(sBig);
        QVERIFY(big.open(QIODevice::WriteOnly));
        QVERIFY(big.resize(5000000000LL));
    }
    QVERIFY2(frmProperties(sBig).findChild<QLabel*>(QStringLiteral("lblSize"))->text().contains(
                 QStringLiteral("5,000,000,000 bytes")),
             "64-bit size");
    const QString sPlain = env.path(QStringLiteral("Makefile"));
    Write(sPlain, "1");
    frmProperties plain(sPlain);
    QCOMPARE(Label(plain, "lblType"), QStringLiteral("File"));
    QCOMPARE(Label(plain, "lblSize"), QStringLiteral("1 byte"));

    // Esc and Close both leave the sheet.
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QTest::keyClick(&sheet, Qt::Key_Escape);
    QVERIFY(!sheet.isVisible());
    sheet.show();
    sheet.findChild<QPushButton*>(QStringLiteral("cmdClose"))->click();
    QVERIFY(!sheet.isVisible());
}

void tst_LocalDialogs::propertiesOfFoldersAndLinks()
{
    TestEnvironment env;
    const QString sFolder = env.path(QStringLiteral("folder"));
    Write(sFolder + QStringLiteral("/one.txt"));
    Write(sFolder + QStringLiteral("/.hidden"));
    Write(sFolder + QStringLiteral("/sub/deep.txt"));  // inside sub: not counted
    frmProperties folder(sFolder);
    QCOMPARE(Label(folder, "lblName"), QStringLiteral("folder"));
    QCOMPARE(Label(folder, "lblType"), QStringLiteral("Folder"));
    QCOMPARE(Label(folder, "lblSize"), QStringLiteral("3 items"));
    QDir().mkpath(env.path(QStringLiteral("empty")));
    QCOMPARE(Label(frmProperties(env.path(QStringLiteral("empty"))), "lblSize"), QStringLiteral("0 items"));

    const QString sLink = env.path(QStringLiteral("link.txt"));
    QVERIFY(QFile::link(sFolder + QStringLiteral("/one.txt"), sLink));
    frmProperties link(sLink);
    QCOMPARE(Label(link, "lblName"), QStringLiteral("link.txt"));
    QCOMPARE(Label(link, "lblPath"), QDir::toNativeSeparators(sLink));
    QCOMPARE(Label(link, "lblType"), QStringLiteral("Link \u2192 ") + QDir::toNativeSeparators(sFolder + QStringLiteral("/one.txt")));
    QCOMPARE(Label(link, "lblSize"), QStringLiteral("3 bytes"));

    // A dangling link still has a sheet, with nothing to say about a target.
    const QString sDangling = env.path(QStringLiteral("dangling"));
    QVERIFY(QFile::link(env.path(QStringLiteral("gone")), sDangling));
    frmProperties dangling(sDangling);
    QVERIFY(Label(dangling, "lblType").endsWith(QStringLiteral("(missing)")));
    QCOMPARE(Label(dangling, "lblSize"), QStringLiteral("\u2014"));
    QCOMPARE(Label(dangling, "lblModified"), QStringLiteral("unknown"));
}

void tst_LocalDialogs::missingPathGivesAMessageInsteadOfASheet()
{
    TestEnvironment env;
    ScriptedPrompter prompter;
    ScopedPrompter scoped(prompter);
    prompter.AnswerMessage(PromptResult::Ok);
    const QString sMissing = env.path(QStringLiteral("no such file.txt"));
    frmProperties::ShowFor(sMissing, nullptr);
    QCOMPARE(prompter.shown().size(), 1);
    QCOMPARE(prompter.shown().first().sText,
             QStringLiteral("Cannot show the properties of ") + QDir::toNativeSeparators(sMissing) +
                 QStringLiteral(": it does not exist."));
    QCOMPARE(prompter.shown().first().icon, PromptIcon::Exclamation);
    QVERIFY(OpenSheets().isEmpty());

    // An existing path opens a sheet that goes away by itself when closed.
    Write(env.path(QStringLiteral("here.txt")));
    frmProperties::ShowFor(env.path(QStringLiteral("here.txt")), nullptr);
    QCOMPARE(OpenSheets().size(), 1);
    QPointer<frmProperties> sheet = OpenSheets().first();
    QCOMPARE(Label(*sheet, "lblName"), QStringLiteral("here.txt"));
    sheet->close();
    QTRY_VERIFY(sheet.isNull());
    QVERIFY(prompter.ScriptDone());
}

void tst_LocalDialogs::findsByPatternsBelowTheStartFolder()
{
    TestEnvironment env;
    const QString sRoot = env.path(QStringLiteral("tree"));
    for (const char* sName : {"a.txt", "B.TXT", "c.log", "notes.txt.bak", ".hidden.txt", "sub/d.txt",
                              "sub/deeper/e.txt", "sub/f.md", "sub/ab.md"})
        Write(sRoot + QLatin1Char('/') + QLatin1String(sName));
    QDir().mkpath(sRoot + QStringLiteral("/folder.txt"));  // folders are not results

    frmFindFiles dialog(sRoot + QStringLiteral("/sub/.."));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblLookIn"))->text(), QDir::toNativeSeparators(sRoot));
    QCOMPARE(dialog.findChild<QLineEdit*>(QStringLiteral("txtPattern"))->text(), QStringLiteral("*"));
    QVERIFY(dialog.findChild<QCheckBox*>(QStringLiteral("chkSubfolders"))->isChecked());

    const QStringList txtEverywhere = {QStringLiteral(".hidden.txt"), QStringLiteral("a.txt"),
                                       QStringLiteral("sub/d.txt"), QStringLiteral("sub/deeper/e.txt")};
    const QStringList txtHere = {QStringLiteral(".hidden.txt"), QStringLiteral("a.txt")};
#ifdef Q_OS_LINUX
    // Letter case counts on Linux file systems.
    QCOMPARE(Search(dialog, sRoot, QStringLiteral("*.txt"), true), txtEverywhere);
    QCOMPARE(Search(dialog, sRoot, QStringLiteral("*.txt"), false), txtHere);
    QCOMPARE(Search(dialog, sRoot, QStringLiteral("*.TXT"), true), QStringList{QStringLiteral("B.TXT")});
    QVERIFY(!frmFindFiles::NameMatches(QStringLiteral("B.TXT"), QStringLiteral("*.txt")));
#endif
    QCOMPARE(Search(dialog, sRoot, QStringLiteral(" *.log ; ?.md"), true),
             (QStringList{QStringLiteral("c.log"), QStringLiteral("sub/f.md")}));
    QCOMPARE(Search(dialog, sRoot, QStringLiteral(";"), false).size(), 5);  // no pattern: every file
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblStatus"))->text(), QStringLiteral("5 files found."));

    // One row: name, folder, size.
    Search(dialog, sRoot, QStringLiteral("d.txt"), true);
    const auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("lstResults"));
    QCOMPARE(list->topLevelItemCount(), 1);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("d.txt"));
    QCOMPARE(list->topLevelItem(0)->text(1), QDir::toNativeSeparators(sRoot + QStringLiteral("/sub")));
    QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("3"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblStatus"))->text(), QStringLiteral("1 file found."));
}

void tst_LocalDialogs::largeSearchesRunInSlicesStopAndLimit()
{
    TestEnvironment env;
    const QString sRoot = env.path(QStringLiteral("big"));
    constexpr int kFiles = 20000;
    for (int i = 0; i < kFiles; ++i) Write(QStringLiteral("%1/d%2/f%3.dat").arg(sRoot).arg(i % 20).arg(i), "");
    frmFindFiles dialog(sRoot);
    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("lstResults"));
    auto* stop = dialog.findChild<QPushButton*>(QStringLiteral("cmdStop"));
    QVERIFY(!stop->isEnabled());

    // Find returns before walking anything; the first batch presses Stop.
    QSignalSpy finished(&dialog, &frmFindFiles::SearchFinished);
    qsizetype firstBatch = 0;
    auto stopper = connect(&dialog, &frmFindFiles::ResultsAdded, stop, [&](qsizetype total) {
        if (firstBatch == 0) firstBatch = total;
        stop->click();
    });
    dialog.findChild<QPushButton*>(QStringLiteral("cmdFind"))->click();
    QVERIFY(dialog.IsSearching());
    QVERIFY(stop->isEnabled());
    QCOMPARE(list->topLevelItemCount(), 0);
    QVERIFY(finished.wait(20000));
    QVERIFY(!dialog.IsSearching());
    QVERIFY(firstBatch > 0 && firstBatch < kFiles);
    QTest::qWait(50);
    QCOMPARE(list->topLevelItemCount(), firstBatch);
    QVERIFY(dialog.findChild<QLabel*>(QStringLiteral("lblStatus"))->text().startsWith(QStringLiteral("Stopped: ")));
    QCOMPARE(finished.size(), 1);
    disconnect(stopper);

    // Left alone, the search finds all, or stops at the limit with a note.
    QCOMPARE(Search(dialog, sRoot, QStringLiteral("*.dat"), true).size(), kFiles);
    dialog.SetResultLimit(50);
    QCOMPARE(Search(dialog, sRoot, QStringLiteral("*"), true).size(), 50);
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("lblStatus"))->text(),
             QStringLiteral("Stopped at 50 files; narrow the pattern to see the rest."));
}

void tst_LocalDialogs::linkedFoldersAreNotEntered()
{
    TestEnvironment env;
    const QString sRoot = env.path(QStringLiteral("loopy"));
    Write(sRoot + QStringLiteral("/x.txt"));
    Write(env.path(QStringLiteral("outside/y.txt")));
    QVERIFY(QFile::link(sRoot, sRoot + QStringLiteral("/back")));  // a folder linking to itself
    QVERIFY(QFile::link(env.path(), sRoot + QStringLiteral("/up")));
    QVERIFY(QFile::link(sRoot + QStringLiteral("/x.txt"), sRoot + QStringLiteral("/alias.txt")));
    frmFindFiles dialog(sRoot);
    QCOMPARE(Search(dialog, sRoot, QStringLiteral("*"), true),
             (QStringList{QStringLiteral("alias.txt"), QStringLiteral("x.txt")}));
}

void tst_LocalDialogs::resultsOpenAndRevealThroughTheOpener()
{
    TestEnvironment env;
    const QString sRoot = env.path(QStringLiteral("tree"));
    for (const char* sName : {"a.txt", "b.txt", "sub/c.txt"}) Write(sRoot + QLatin1Char('/') + QLatin1String(sName));
    frmFindFiles dialog(sRoot);
    QList<QUrl> opened;
    dialog.SetOpener([&](const QUrl& url) {
        opened.append(url);
        return true;
    });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(Search(dialog, sRoot, QStringLiteral("*.txt"), true).size(), 3);
    auto* list = dialog.findChild<QTreeWidget*>(QStringLiteral("lstResults"));
    const auto row = [&](const QString& sName) { return list->findItems(sName, Qt::MatchExactly).value(0); };

    QTreeWidgetItem* item = row(QStringLiteral("b.txt"));
    QVERIFY(item);
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(sRoot + QStringLiteral("/b.txt"))});

    // Enter opens the current result and does not start a new search.
    QSignalSpy finished(&dialog, &frmFindFiles::SearchFinished);
    list->setCurrentItem(row(QStringLiteral("c.txt")));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Return);
    QTest::qWait(20);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened.last(), QUrl::fromLocalFile(sRoot + QStringLiteral("/sub/c.txt")));
    QVERIFY(!dialog.IsSearching());
    QCOMPARE(finished.size(), 0);
    QCOMPARE(list->topLevelItemCount(), 3);

    dialog.findChild<QPushButton*>(QStringLiteral("cmdShowFolder"))->click();
    QCOMPARE(opened.size(), 3);
    QCOMPARE(opened.last(), QUrl::fromLocalFile(sRoot + QStringLiteral("/sub")));
}

QTEST_MAIN(tst_LocalDialogs)
#include "tst_LocalDialogs.moc"
