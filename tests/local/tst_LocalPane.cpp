// The local pane: listing rules, navigation, the path box, the filters, the
// Local menu's file operations and the pane's keys.
#include "local/LocalPane.h"
#include "local/frmFindFiles.h"
#include "local/frmProperties.h"
#include "ui/FilePane.h"

#include "ScriptedPrompter.h"
#include "TestEnvironment.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QString kConfirm = QStringLiteral("Kelvo [Confirm]");

void Write(const QString& sPath, const QByteArray& data = QByteArray("abc"))
{
    QDir().mkpath(QFileInfo(sPath).absolutePath());
    QFile file(sPath);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(sPath));
    file.write(data);
}

QByteArray Read(const QString& sPath)
{
    QFile file(sPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A pane on a fresh folder tree; the log and command updates are recorded.
struct Fixture {
    QByteArray savedHome, savedData;
    TestEnvironment env;
    ScriptedPrompter prompter;
    ScopedPrompter scoped{prompter};
    FilePane list;
    QComboBox box;
    std::unique_ptr<LocalPane> pane;
    QStringList log;
    QList<int> updates;  // the list's row count at each command update
    long nFtpState = 0;
    int nUploads = 0;
    QList<QUrl> opened;
    QString root;  // the tree, with its trailing "/"

    Fixture() : savedHome(qgetenv("HOME")), savedData(qgetenv("XDG_DATA_HOME"))
    {
        // The trash goes below the test's own folders.
        QDir().mkpath(env.path(QStringLiteral("home")));
        qputenv("HOME", env.path(QStringLiteral("home")).toUtf8());
        qputenv("XDG_DATA_HOME", env.path(QStringLiteral("data")).toUtf8());
        root = env.path(QStringLiteral("tree")) + QLatin1Char('/');
        QDir().mkpath(root);
        box.setEditable(true);
        pane = std::make_unique<LocalPane>(&list, &box);
        pane->displayMessage = [this](const QString& s) { log.append(s); };
        pane->updateLocalCommands = [this] { updates.append(list.Count()); };
        pane->ftpState = [this] { return nFtpState; };
        pane->startUpload = [this] { ++nUploads; };
        pane->opener = [this](const QUrl& url) { opened.append(url); return true; };
    }
    ~Fixture()
    {
        qputenv("HOME", savedHome);
        if (savedData.isEmpty()) qunsetenv("XDG_DATA_HOME");
        else qputenv("XDG_DATA_HOME", savedData);
    }
    // Points the pane at a folder below the tree and lists it.
    void Show(const QString& sRelative = QString())
    {
        pane->ChangeCurrentLocalFolder(root + sRelative);
        pane->Refresh();
        log.clear();
        updates.clear();
    }
    QStringList Names() const
    {
        QStringList names;
        for (int i = 0; i < list.Count(); ++i) names.append(list.Text(i));
        names.sort();
        return names;
    }
    int RowOf(const QString& sName) const
    {
        for (int i = 0; i < list.Count(); ++i)
            if (list.Text(i) == sName) return i;
        return -1;
    }
    void Select(const QStringList& names)
    {
        list.ClearSelection();
        for (const QString& sName : names) list.SetSelected(RowOf(sName), true);
        if (!names.isEmpty()) list.SetCurrentItem(RowOf(names.first()));
    }
    QStringList BoxItems() const
    {
        QStringList items;
        for (int i = 0; i < box.count(); ++i) items.append(box.itemText(i));
        return items;
    }
};

QList<frmProperties*> OpenSheets()
{
    QList<frmProperties*> sheets;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* sheet = qobject_cast<frmProperties*>(widget); sheet && sheet->isVisible()) sheets.append(sheet);
    return sheets;
}

}  // namespace

class tst_LocalPane : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void startListsTheFirstRootWithTheDrivesInTheBox();
    void goesUpToTheParentAndStopsAtTheRoot();
    void doubleClickEntersAFolderAndListsItOnce();
    void choosingAPathBoxEntryListsIt();
    void rowsFollowTheIconRules();
    void definedTypeFiltersUntilTheNextRefresh();
    void deletesTheSelectionAndRefusesFolders();
    void renameNeverReplacesAnExistingEntry();
    void createsAndRemovesFolders();
    void trashMovesEntriesAndEmptyTrashAsksFirst();
    void openAndPropertiesNeedASelection();
    void menuHoldsTheCommandsInOrder();
    void keysRunTheSameRoutines();
    void doubleClickOnAFileOffersTheUploadOnlyWhenConnected();
    void inPlaceRenameAsksForNewExtensionsAndNeverReplaces();
};

void tst_LocalPane::startListsTheFirstRootWithTheDrivesInTheBox()
{
    Fixture f;
    f.pane->Start();
    QVERIFY(f.box.count() >= 1);
    QCOMPARE(f.box.itemText(0), QStringLiteral("/"));
    QCOMPARE(f.pane->CurrentLocalFolder(), QStringLiteral("/"));
    QCOMPARE(f.box.currentText(), QStringLiteral("/"));
    QVERIFY(f.RowOf(QStringLiteral("tmp")) >= 0);
    QCOMPARE(f.list.SmallIcon(f.RowOf(QStringLiteral("tmp"))), LocalPane::kFolderIcon);
    QCOMPARE(f.BoxItems().count(QStringLiteral("/")), 1);  // listing the root does not add it again
}

void tst_LocalPane::goesUpToTheParentAndStopsAtTheRoot()
{
    Fixture f;
    Write(f.root + QStringLiteral("Outer/Inner/deep.txt"));
    f.Show(QStringLiteral("Outer/Inner"));
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root + QStringLiteral("Outer/Inner/"));
    QCOMPARE(f.Names(), QStringList{QStringLiteral("deep.txt")});

    f.pane->GoUpLocalFolder();
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root + QStringLiteral("Outer/"));
    QCOMPARE(f.log, QStringList{QStringLiteral("Local folder changed to ") + f.root + QStringLiteral("Outer/")});
    QCOMPARE(f.Names(), QStringList{QStringLiteral("Inner")});
    QVERIFY(!f.updates.isEmpty());
    QCOMPARE(f.updates.last(), f.list.Count());  // told after the new contents
    QCOMPARE(f.box.currentText(), f.root + QStringLiteral("Outer/"));

    // A folder that is not there is refused with the error line.
    f.log.clear();
    QVERIFY(!f.pane->ChangeCurrentLocalFolder(f.root + QStringLiteral("gone/")));
    QCOMPARE(f.log.size(), 1);
    QVERIFY(f.log[0].startsWith(QStringLiteral("Error while attempting to change current local folder to '")
                                + f.root + QStringLiteral("gone/'. Description: ")));
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root + QStringLiteral("Outer/"));

    QVERIFY(f.pane->ChangeCurrentLocalFolder(QStringLiteral("/")));
    f.pane->RefreshLocalList();
    const int nRows = f.list.Count();
    f.log.clear();
    f.pane->GoUpLocalFolder();
    QCOMPARE(f.log, QStringList{QStringLiteral("Local path already at root folder.")});
    QCOMPARE(f.pane->CurrentLocalFolder(), QStringLiteral("/"));
    QCOMPARE(f.list.Count(), nRows);
}

void tst_LocalPane::doubleClickEntersAFolderAndListsItOnce()
{
    Fixture f;
    Write(f.root + QStringLiteral("MixedCase/one.txt"));
    Write(f.root + QStringLiteral("MixedCase/two.txt"));
    Write(f.root + QStringLiteral("mixedcase/other.txt"));
    f.Show();
    QSignalSpy inserted(f.list.Model(), &QAbstractItemModel::rowsInserted);

    f.Select({QStringLiteral("MixedCase")});
    f.pane->OnDoubleClick();
    const QString sNew = f.root + QStringLiteral("MixedCase/");
    QCOMPARE(f.pane->CurrentLocalFolder(), sNew);
    QCOMPARE(f.Names(), (QStringList{QStringLiteral("one.txt"), QStringLiteral("two.txt")}));
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(f.box.currentText(), sNew);  // exactly as spelled, selected
    QCOMPARE(f.box.itemText(f.box.currentIndex()), sNew);
    QVERIFY(f.log.isEmpty());
    QVERIFY(!f.updates.isEmpty());
    QCOMPARE(f.updates.last(), f.list.Count());  // told after the new contents

    // The other spelling is another folder here and gets its own entry.
    f.pane->GoUpLocalFolder();
    f.Select({QStringLiteral("mixedcase")});
    f.pane->OnDoubleClick();
    QCOMPARE(f.Names(), QStringList{QStringLiteral("other.txt")});
    QCOMPARE(f.BoxItems().count(sNew), 1);
    QCOMPARE(f.BoxItems().count(f.root + QStringLiteral("mixedcase/")), 1);

    // Nothing selected: nothing happens.
    f.list.ClearSelection();
    f.pane->OnDoubleClick();
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root + QStringLiteral("mixedcase/"));
}

void tst_LocalPane::choosingAPathBoxEntryListsIt()
{
    Fixture f;
    Write(f.root + QStringLiteral("a/in-a.txt"));
    Write(f.root + QStringLiteral("b/in-b.txt"));
    f.Show(QStringLiteral("a"));
    f.Show(QStringLiteral("b"));
    QCOMPARE(f.Names(), QStringList{QStringLiteral("in-b.txt")});

    const int nA = f.BoxItems().indexOf(f.root + QStringLiteral("a/"));
    QVERIFY(nA >= 0);
    Q_EMIT f.box.activated(nA);
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root + QStringLiteral("a/"));
    QCOMPARE(f.Names(), QStringList{QStringLiteral("in-a.txt")});
    QVERIFY(f.log.isEmpty());
    QCOMPARE(f.BoxItems().count(f.root + QStringLiteral("a/")), 1);
}

void tst_LocalPane::rowsFollowTheIconRules()
{
    Fixture f;
    Write(f.root + QStringLiteral("notes.zzz"), QByteArray(1234, 'x'));
    Write(f.root + QStringLiteral("prog.exe"));
    Write(f.root + QStringLiteral("pic.gif"));
    QDir().mkdir(f.root + QStringLiteral("folder.gif"));
    QVERIFY(QFile::link(f.root + QStringLiteral("nowhere"), f.root + QStringLiteral("dead.zzz")));
    f.Show();

    const int nOther = f.RowOf(QStringLiteral("notes.zzz"));
    QCOMPARE(f.list.SmallIcon(nOther), LocalPane::kOtherFileIcon);  // no picture of its own: 10 shows as 3
    QCOMPARE(f.list.SubItem(nOther, 1), QStringLiteral("1234"));
    QCOMPARE(f.list.SubItem(nOther, 3), QStringLiteral("F"));
    QVERIFY(!f.list.SubItem(nOther, 2).isEmpty());
    QCOMPARE(f.list.SmallIcon(f.RowOf(QStringLiteral("prog.exe"))), 9);
    QCOMPARE(f.list.SmallIcon(f.RowOf(QStringLiteral("pic.gif"))), 4);
    const int nFolder = f.RowOf(QStringLiteral("folder.gif"));
    QCOMPARE(f.list.SmallIcon(nFolder), LocalPane::kFolderIcon);
    QCOMPARE(f.list.SubItem(nFolder, 1), QString());
    QCOMPARE(f.list.SubItem(nFolder, 3), QStringLiteral("D"));
    // Unreadable: a file row keeping the table's index.
    const int nDead = f.RowOf(QStringLiteral("dead.zzz"));
    QCOMPARE(f.list.SmallIcon(nDead), 10);
    QCOMPARE(f.list.SubItem(nDead, 3), QStringLiteral("F"));
    // ... and no folder to enter.
    f.Select({QStringLiteral("dead.zzz")});
    f.pane->OnDoubleClick();
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root);

    // Sizes beyond 32 bits as plain digits; dates in the locale's short form.
    LocalEntry big{QStringLiteral("big.iso"), QDateTime(QDate(2003, 12, 31), QTime(13, 2)), 5000000000LL,
                   LocalAttrib::Archive};
    const FilePaneRow row = LocalPane::MakeRow(big);
    QCOMPARE(row.subItems.value(0), QStringLiteral("5000000000"));
    QCOMPARE(row.size, 5000000000LL);
    QCOMPARE(row.subItems.value(1), QStringLiteral("12/31/03 1:02 PM"));
}

void tst_LocalPane::definedTypeFiltersUntilTheNextRefresh()
{
    Fixture f;
    Write(f.root + QStringLiteral("a.txt"));
    Write(f.root + QStringLiteral("b.txt"));
    Write(f.root + QStringLiteral("c.log"));
    QDir().mkdir(f.root + QStringLiteral("dir.txt"));
    f.Show();
    const QStringList all = f.Names();
    QCOMPARE(all.size(), 4);

    f.prompter.AnswerInput(QStringLiteral("*.txt"));
    f.pane->FilterDefineTypes();
    QCOMPARE(f.prompter.shown()[0].sTitle, QStringLiteral("Define Type For Local Server Directory Listing"));
    QCOMPARE(f.prompter.shown()[0].sText, QStringLiteral("Please enter the type ex: *.gif "));
    QCOMPARE(f.Names(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("dir.txt")}));
    f.pane->Refresh();
    QCOMPARE(f.Names(), all);

    f.prompter.AnswerInput(QStringLiteral("*.log"));
    f.pane->FilterDefineTypes();
    QCOMPARE(f.Names(), QStringList{QStringLiteral("c.log")});
    f.pane->FilterAll();
    QCOMPARE(f.Names(), all);

    // An empty answer and Cancel are told and leave the list alone.
    for (const std::optional<QString>& answer : {std::optional<QString>(QString()), std::optional<QString>()}) {
        f.prompter.AnswerInput(answer);
        f.prompter.AnswerMessage(PromptResult::Ok);
        f.pane->FilterDefineTypes();
        const auto& box = f.prompter.shown().last();
        QCOMPARE(box.sText, QStringLiteral("No command entered, quiting"));
        QCOMPARE(box.sTitle, QStringLiteral("Define Type For Local Server Directory Listing"));
        QCOMPARE(box.icon, PromptIcon::Information);
        QCOMPARE(f.Names(), all);
    }
    QVERIFY(f.prompter.ScriptDone());
}

void tst_LocalPane::deletesTheSelectionAndRefusesFolders()
{
    Fixture f;
    for (const char* sName : {"one.txt", "two.txt", "three.txt", "keep.txt"}) Write(f.root + QLatin1String(sName));
    QDir().mkdir(f.root + QStringLiteral("sub"));
    f.Show();
    const QStringList chosen{QStringLiteral("one.txt"), QStringLiteral("sub"), QStringLiteral("two.txt"),
                             QStringLiteral("three.txt")};

    f.Select(chosen);
    f.prompter.AnswerMessage(PromptResult::No);
    QSignalSpy reset(f.list.Model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserted(f.list.Model(), &QAbstractItemModel::rowsInserted);
    f.pane->LocalDeleteFiles();
    QCOMPARE(f.prompter.shown()[0].sTitle, kConfirm);
    QCOMPARE(f.prompter.shown()[0].sText, QStringLiteral("Are you sure you want to delete the selected local file(s)?"));
    QVERIFY(f.prompter.shown()[0].defaultButton == PromptResult::No);  // Enter deletes nothing
    QCOMPARE(f.Names().size(), 5);
    QCOMPARE(inserted.size() + reset.size(), 0);  // No: not even a refresh

    f.Select(chosen);
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.prompter.AnswerMessage(PromptResult::Ok);
    f.pane->LocalDeleteFiles();
    QCOMPARE(f.prompter.shown().size(), 3);
    QCOMPARE(f.prompter.shown()[2].sText, QStringLiteral("Cannot delete ") + f.root + QStringLiteral("sub"));
    QCOMPARE(f.Names(), (QStringList{QStringLiteral("keep.txt"), QStringLiteral("sub")}));
    QCOMPARE(inserted.size(), 1);  // one refresh at the end
    QVERIFY(QFileInfo(f.root + QStringLiteral("sub")).isDir());
    QVERIFY(!f.updates.isEmpty());
    QCOMPARE(f.updates.last(), f.list.Count());  // told after the new contents
}

void tst_LocalPane::renameNeverReplacesAnExistingEntry()
{
    Fixture f;
    Write(f.root + QStringLiteral("a.txt"), "first");
    Write(f.root + QStringLiteral("b.txt"), "second");
    f.Show();

    f.Select({QStringLiteral("a.txt")});
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.prompter.AnswerInput(QStringLiteral("b.txt"));
    f.prompter.AnswerMessage(PromptResult::Ok);
    f.pane->LocalRenameFile();
    const QString sOld = f.root + QStringLiteral("a.txt");
    QCOMPARE(f.prompter.shown()[0].sText, QStringLiteral("Rename local file ") + sOld + QStringLiteral("?"));
    QCOMPARE(f.prompter.shown()[1].sTitle, QStringLiteral("Kelvo - Rename Local File"));
    QCOMPARE(f.prompter.shown()[1].sText, QStringLiteral("Enter the new name for ") + sOld);
    QCOMPARE(f.prompter.shown()[2].sText, QStringLiteral("Cannot rename ") + sOld);
    QCOMPARE(Read(sOld), QByteArray("first"));
    QCOMPARE(Read(f.root + QStringLiteral("b.txt")), QByteArray("second"));

    // An empty answer, or No, changes nothing.
    f.Select({QStringLiteral("a.txt")});
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.prompter.AnswerInput(QString());
    f.pane->LocalRenameFile();
    f.prompter.AnswerMessage(PromptResult::No);
    f.pane->LocalRenameFile();
    QCOMPARE(f.Names(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));

    f.Select({QStringLiteral("a.txt")});
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.prompter.AnswerInput(QStringLiteral("c.txt"));
    f.pane->LocalRenameFile();
    QCOMPARE(f.Names(), (QStringList{QStringLiteral("b.txt"), QStringLiteral("c.txt")}));
    QCOMPARE(Read(f.root + QStringLiteral("c.txt")), QByteArray("first"));
    QVERIFY(f.prompter.ScriptDone());
}

void tst_LocalPane::createsAndRemovesFolders()
{
    Fixture f;
    Write(f.root + QStringLiteral("full/inside.txt"));
    f.Show();

    f.prompter.AnswerInput(QStringLiteral("made"));
    f.pane->LocalCreateFolder();
    QCOMPARE(f.prompter.shown()[0].sTitle, QStringLiteral("Kelvo - Create Local Folder"));
    QCOMPARE(f.prompter.shown()[0].sText, QStringLiteral("Enter the name of the local folder you wish to create."));
    QVERIFY(QFileInfo(f.root + QStringLiteral("made")).isDir());
    QCOMPARE(f.list.SmallIcon(f.RowOf(QStringLiteral("made"))), LocalPane::kFolderIcon);

    f.Select({QStringLiteral("made")});
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.pane->LocalRemoveFolder();
    QCOMPARE(f.prompter.shown()[1].sText, QStringLiteral("Delete made?"));
    QVERIFY(!QFileInfo::exists(f.root + QStringLiteral("made")));
    QCOMPARE(f.Names(), QStringList{QStringLiteral("full")});

    // A folder with files stays, with the long message.
    f.Select({QStringLiteral("full")});
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.prompter.AnswerMessage(PromptResult::Ok);
    f.pane->LocalRemoveFolder();
    QVERIFY(f.prompter.shown()[3].sText.startsWith(QStringLiteral("Cannot remove ") + f.root + QStringLiteral("full")));
    QVERIFY(QFile::exists(f.root + QStringLiteral("full/inside.txt")));
    QVERIFY(f.prompter.ScriptDone());
}

void tst_LocalPane::trashMovesEntriesAndEmptyTrashAsksFirst()
{
    Fixture f;
    Write(f.root + QStringLiteral("old.txt"), "old");
    Write(f.root + QStringLiteral("older.txt"), "older");
    Write(f.root + QStringLiteral("box/item"));
    f.Show();
    const QString sTrash = f.env.path(QStringLiteral("data/Trash/"));

    f.Select({QStringLiteral("old.txt"), QStringLiteral("older.txt")});
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.pane->DeleteFilesToTrash();
    QCOMPARE(f.prompter.shown().size(), 2);  // asked once per entry
    QCOMPARE(Read(sTrash + QStringLiteral("files/old.txt")), QByteArray("old"));
    QCOMPARE(Read(sTrash + QStringLiteral("files/older.txt")), QByteArray("older"));

    f.Select({QStringLiteral("box")});
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.pane->DeleteFolderToTrash();
    QVERIFY(QFile::exists(sTrash + QStringLiteral("files/box/item")));
    QCOMPARE(f.list.Count(), 0);

    const int nAsked = f.prompter.shown().size();
    f.prompter.AnswerMessage(PromptResult::No);
    f.pane->EmptyTrashAction()->trigger();
    QCOMPARE(f.prompter.shown()[nAsked].sTitle, kConfirm);
    QCOMPARE(f.prompter.shown()[nAsked].buttons, PromptButtons::YesNo);
    QVERIFY(QFile::exists(sTrash + QStringLiteral("files/old.txt")));

    f.prompter.AnswerMessage(PromptResult::Yes);
    f.pane->EmptyTrash();
    QVERIFY(QDir(sTrash + QStringLiteral("files")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    QVERIFY(QDir(sTrash + QStringLiteral("info")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    QVERIFY(QDir(sTrash + QStringLiteral("files")).exists());
    QVERIFY(f.prompter.ScriptDone());
}

void tst_LocalPane::openAndPropertiesNeedASelection()
{
    Fixture f;
    Write(f.root + QStringLiteral("doc.txt"));
    f.Show();
    f.list.ClearSelection();

    f.prompter.AnswerMessage(PromptResult::Ok);
    f.prompter.AnswerMessage(PromptResult::Ok);
    f.pane->OpenFile();
    f.pane->ShowProperties();
    QCOMPARE(f.prompter.shown()[0].sText, QStringLiteral("Nothing to open!"));
    QCOMPARE(f.prompter.shown()[0].icon, PromptIcon::Exclamation);
    QCOMPARE(f.prompter.shown()[1].sText, QStringLiteral("Properties of what, Please select an item?"));
    QCOMPARE(f.prompter.shown()[1].icon, PromptIcon::None);
    QCOMPARE(f.prompter.shown()[1].sTitle, QStringLiteral("Kelvo"));
    QVERIFY(f.opened.isEmpty());
    QVERIFY(OpenSheets().isEmpty());

    f.Select({QStringLiteral("doc.txt")});
    f.pane->OpenFile();
    QCOMPARE(f.opened, QList<QUrl>{QUrl::fromLocalFile(f.root + QStringLiteral("doc.txt"))});
    f.pane->ShowProperties();
    QCOMPARE(OpenSheets().size(), 1);
    for (frmProperties* sheet : OpenSheets()) sheet->close();

    f.pane->FindFiles();
    frmFindFiles* find = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<frmFindFiles*>(widget); dialog && dialog->isVisible()) find = dialog;
    QVERIFY(find);
    QCOMPARE(QDir::cleanPath(find->StartFolder()), QDir::cleanPath(f.root));
    find->close();
}

void tst_LocalPane::menuHoldsTheCommandsInOrder()
{
    Fixture f;
    QMenu menu;
    f.pane->BuildLocalMenu(&menu);
    QStringList items;
    for (QAction* action : menu.actions())
        items.append(action->isSeparator() ? QStringLiteral("-") : action->objectName() + QLatin1Char('=') + action->text());
    const QStringList expected{
        "mnuLocalRefresh=Refre&sh", "-", "mnuLocalOpenFile=&Open File", "-", "mnuLocalUpload=&Upload File(s)", "-",
        "miDeleteLocalFile=&Delete File(s)", "miRenameLocalFile=R&ename File", "miCreateLocalFolder=&Create Folder",
        "miRemoveLocalFolder=Re&move Folder", "-", "mnuLocalFindFiles=&Find File(s)", "-",
        "mnuLocalProperties=&Properties", "mnuLocalGoUp=&Go up a Directory Level",
        "mnuLocalDeleteFileToRecycleBin=Delete File To Recycle Bin",
        "mnuDelteFolderToRecycleBin=Delete Folder To Recycle Bin", "mnuLocalDirectoryFilter=Directory Filters"};
    QCOMPARE(items, expected);
    QMenu* filters = menu.actions().last()->menu();
    QVERIFY(filters);
    QCOMPARE(filters->actions().size(), 2);
    QCOMPARE(filters->actions()[0]->objectName(), QStringLiteral("mnuLocalFilterAll"));
    QCOMPARE(filters->actions()[0]->text(), QStringLiteral("&All Files (*.*)"));
    QCOMPARE(filters->actions()[1]->objectName(), QStringLiteral("mnuLocalFilterDefineTypes"));
    QCOMPARE(filters->actions()[1]->text(), QStringLiteral("&DefineTypes (*.?)"));
    QCOMPARE(f.pane->EmptyTrashAction()->objectName(), QStringLiteral("mnuToolsEmptyLocalRecycleBin"));
    QCOMPARE(f.pane->EmptyTrashAction()->text(), QStringLiteral("&Empty Local Recycle Bin"));

    // The items are connected: Go up, Upload.
    QDir().mkpath(f.root + QStringLiteral("x"));
    f.Show(QStringLiteral("x"));
    menu.findChild<QAction*>(QStringLiteral("mnuLocalGoUp"))->trigger();
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root);
    menu.findChild<QAction*>(QStringLiteral("mnuLocalUpload"))->trigger();
    QCOMPARE(f.nUploads, 1);
}

void tst_LocalPane::keysRunTheSameRoutines()
{
    Fixture f;
    Write(f.root + QStringLiteral("sub/inner.txt"));
    Write(f.root + QStringLiteral("file.txt"));
    f.Show();
    QWidget* view = f.list.ActiveView();

    f.Select({QStringLiteral("sub")});
    QTest::keyClick(view, Qt::Key_Return);
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root + QStringLiteral("sub/"));
    QTest::keyClick(view, Qt::Key_Backspace);
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root);

    Write(f.root + QStringLiteral("new.txt"));
    QVERIFY(f.RowOf(QStringLiteral("new.txt")) < 0);
    QTest::keyClick(view, Qt::Key_F5);
    QVERIFY(f.RowOf(QStringLiteral("new.txt")) >= 0);

    f.Select({QStringLiteral("file.txt")});
    f.prompter.AnswerMessage(PromptResult::No);
    QTest::keyClick(view, Qt::Key_Delete);
    f.prompter.AnswerMessage(PromptResult::No);
    QTest::keyClick(view, Qt::Key_F2);
    QCOMPARE(f.prompter.shown().size(), 2);
    QCOMPARE(f.prompter.shown()[0].sText, QStringLiteral("Are you sure you want to delete the selected local file(s)?"));
    QCOMPARE(f.prompter.shown()[1].sText, QStringLiteral("Rename local file ") + f.root + QStringLiteral("file.txt?"));
}

void tst_LocalPane::doubleClickOnAFileOffersTheUploadOnlyWhenConnected()
{
    Fixture f;
    Write(f.root + QStringLiteral("send.txt"));
    f.Show();
    f.Select({QStringLiteral("send.txt")});

    f.pane->OnDoubleClick();  // not connected: no question (an unexpected one would throw)
    QCOMPARE(f.nUploads, 0);

    f.nFtpState = 2;
    f.prompter.AnswerMessage(PromptResult::No);
    f.pane->OnDoubleClick();
    QCOMPARE(f.prompter.shown()[0].sText, QStringLiteral("Upload file 'send.txt'?"));
    QCOMPARE(f.prompter.shown()[0].sTitle, kConfirm);
    QCOMPARE(f.prompter.shown()[0].buttons, PromptButtons::YesNo);
    QCOMPARE(f.nUploads, 0);
    f.prompter.AnswerMessage(PromptResult::Yes);
    f.pane->OnDoubleClick();
    QCOMPARE(f.nUploads, 1);
    QCOMPARE(f.pane->CurrentLocalFolder(), f.root);
}

void tst_LocalPane::inPlaceRenameAsksForNewExtensionsAndNeverReplaces()
{
    Fixture f;
    Write(f.root + QStringLiteral("a.txt"), "a");
    Write(f.root + QStringLiteral("taken.txt"), "taken");
    f.Show();
    const int nRow = f.RowOf(QStringLiteral("a.txt"));

    bool bCancel = false;
    Q_EMIT f.list.labelEditStarting(nRow, bCancel);
    QCOMPARE(f.log, QStringList{QStringLiteral("Local: Renaming file: \"a.txt\"")});

    QString sNew = QStringLiteral("a.log");
    f.prompter.AnswerMessage(PromptResult::No);
    Q_EMIT f.list.labelEdited(nRow, QStringLiteral("a.txt"), sNew, bCancel);
    QVERIFY(bCancel);
    QCOMPARE(f.prompter.shown()[0].sText,
             QStringLiteral("Are you sure to exchange the file extension from: \"txt\" to: \"log\""));
    QVERIFY(QFile::exists(f.root + QStringLiteral("a.txt")));

    bCancel = false;
    sNew = QStringLiteral("taken.txt");
    f.prompter.AnswerMessage(PromptResult::Ok);
    Q_EMIT f.list.labelEdited(nRow, QStringLiteral("a.txt"), sNew, bCancel);
    QVERIFY(bCancel);
    QCOMPARE(f.prompter.shown()[1].sText, QStringLiteral("File name exists in folder? no way!"));
    QCOMPARE(Read(f.root + QStringLiteral("taken.txt")), QByteArray("taken"));

    bCancel = false;
    sNew = QStringLiteral("b.txt");
    Q_EMIT f.list.labelEdited(nRow, QStringLiteral("a.txt"), sNew, bCancel);
    QCOMPARE(Read(f.root + QStringLiteral("b.txt")), QByteArray("a"));
    QCOMPARE(f.Names(), (QStringList{QStringLiteral("b.txt"), QStringLiteral("taken.txt")}));
    QVERIFY(f.prompter.ScriptDone());
}

QTEST_MAIN(tst_LocalPane)
#include "tst_LocalPane.moc"
