// The site manager window: ShowForm's hand-over, the login-type rules when
// entries are clicked, and the New, Save and Delete commands.
#include "WindowTestFixture.h"
#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "sites/SiteProfiles.h"
#include "sites/frmConnectionInfo.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace {

// A private folder, settings store and prompter for one test. The Options
// window, loaded by the geometry restore, goes before the store does.
struct Fixture : WindowTestFixture {
    Fixture() { QDir().mkpath(SiteProfiles::FolderPath()); }
    ~Fixture() { OptionsForm::Unload(); }
};

template <typename T = QLineEdit>
T* Child(const QObject& dlg, const char* sName)
{
    T* child = dlg.findChild<T*>(QLatin1String(sName));
    if (!child) qFatal("no control %s", sName);
    return child;
}

QString Text(const QObject& dlg, const char* sName) { return Child(dlg, sName)->text(); }

QTreeWidgetItem* Entry(QTreeWidget* tree, const QString& sText)
{
    const QList<QTreeWidgetItem*> found = tree->findItems(sText, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void Click(QTreeWidget* tree, const QString& sText)
{
    QTreeWidgetItem* item = Entry(tree, sText);
    if (!item) qFatal("no entry %s", qPrintable(sText));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
}

void SaveFixture(const QString& sName, const QString& sUser, const QString& sPassword)
{
    const QString sError =
        SiteProfiles::Save({sName, QStringLiteral("127.0.0.1"), sUser, sPassword, QStringLiteral("2121")}, true);
    if (!sError.isEmpty()) qFatal("fixture not saved: %s", qPrintable(sError));
}

bool ProfileExists(const QString& sName)
{
    return QFile::exists(SiteProfiles::FolderPath() + QLatin1Char('/') + sName + QStringLiteral(".Profile"));
}

struct Values {
    QString sAddress, sPort, sUser, sPassword;
    bool bAnonymous = false;
    bool bUseTls = false;
};

// Runs ShowForm with `in`; `act` runs inside the modal loop and must end it.
bool Run(frmConnectionInfo& dlg, Values& in, const std::function<void()>& act)
{
    QTimer::singleShot(0, &dlg, act);
    return dlg.ShowForm(in.sAddress, in.sPort, in.sUser, in.sPassword, in.bAnonymous, in.bUseTls);
}

}  // namespace

class tst_frmConnectionInfo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void loadsWithAnonymousDefaultsAndTheSites();
    void showFormHandsBackTrimmedValues();
    void cancelEscAndCloseBoxLeaveArgumentsUnchanged();
    void clickingEntriesDerivesTheLoginType();
    void deleteEnablingFollowsTheSelection();
    void saveChecksAndReportsTheStoresAnswer();
    void tlsChoiceTravelsWithTheSite();
    void geometryIsStoredAndRestored();
};

void tst_frmConnectionInfo::loadsWithAnonymousDefaultsAndTheSites()
{
    Fixture f;
    SaveFixture(QStringLiteral("b"), QStringLiteral("u"), QString());
    SaveFixture(QStringLiteral("A"), QStringLiteral("u"), QString());
    frmConnectionInfo dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Connection Information"));
    struct Expected {
        const char* sName;
        const char* sText;
        const char* sTip;
    };
    static const Expected kControls[] = {
        {"siteNameLabel", "Site Name:", ""},
        {"lblHost", "Host Address : ", ""},
        {"lblUserName", "User Name :", ""},
        {"lblPassword", "Password :", ""},
        {"lblPort", "Port:", ""},
        {"txtSiteName", "", "Site name"},
        {"txtHost", "", "Remote site Ip address or hostname"},
        {"txtPort", "21", "Remote site port number"},
        {"optNormal", "Save Password", "Save the user name and password"},
        {"optAnonymous", "Anonymous", "Set login type to anonymous"},
        {"cmdConnect1", "Connect", ""},
        {"chkUseTls", "Use &TLS (FTPS)", "Encrypt the login and the files (explicit FTP over TLS)"},
        {"cmdCancel", "C&ancel", "Close window"},
        {"TView1", nullptr, "Current saved profiles"},
        {"fraLoginType", nullptr, ""},
    };
    for (const Expected& e : kControls) {
        auto* control = Child<QWidget>(dlg, e.sName);
        if (e.sText) QCOMPARE(control->property("text").toString(), QLatin1String(e.sText));
        QCOMPARE(control->toolTip(), QLatin1String(e.sTip));
    }
    QCOMPARE(Child<QGroupBox>(dlg, "fraLoginType")->title(), QStringLiteral("Login Type"));

    QStringList tabOrder;
    QWidget* w = Child<QWidget>(dlg, "TView1");
    do {
        if (w->focusPolicy() & Qt::TabFocus) tabOrder << w->objectName();
        w = w->nextInFocusChain();
    } while (w->objectName() != QLatin1String("TView1"));
    QCOMPARE(tabOrder, QStringLiteral("TView1 txtSiteName txtHost txtUserName txtPassword optAnonymous optNormal txtPort "
                               "chkUseTls cmdConnect1 cmdCancel").split(QLatin1Char(' ')));
    QVERIFY(Child<QRadioButton>(dlg, "optAnonymous")->isChecked());
    QVERIFY(!Child<QRadioButton>(dlg, "optNormal")->isChecked());
    QCOMPARE(Text(dlg, "txtUserName"), QStringLiteral("anonymous"));
    QCOMPARE(Text(dlg, "txtPassword"), QStringLiteral("kelvo@example.com"));
    QCOMPARE(Child(dlg, "txtPassword")->echoMode(), QLineEdit::Password);
    QCOMPARE(Text(dlg, "txtPort"), QStringLiteral("21"));
    QVERIFY(!Child(dlg, "txtUserName")->isEnabled());
    QCOMPARE(Child(dlg, "txtUserName")->palette().color(QPalette::Base), dlg.palette().color(QPalette::Button));
    QVERIFY(!Child<QAction>(dlg, "cmdDeleteSite")->isEnabled());
    QVERIFY(Child<QPushButton>(dlg, "cmdConnect1")->isDefault());
    const QList<QAction*> commands = {Child<QAction>(dlg, "cmdConnect"), Child<QAction>(dlg, "cmdNewSite"),
                                      Child<QAction>(dlg, "cmdDeleteSite"), Child<QAction>(dlg, "cmdSaveSite")};
    QCOMPARE(Child<QMenuBar>(dlg, "menuBar")->actions(), commands);  // in the bar itself, no submenus
    QCOMPARE(commands.at(0)->text(), QStringLiteral("&Connect"));

    auto* tree = Child<QTreeWidget>(dlg, "TView1");
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("Profiles"));
    QVERIFY(root->isExpanded());
    QCOMPARE(root->childCount(), 2);
    QCOMPARE(root->child(0)->text(0), QStringLiteral("A.Profile"));
    QCOMPARE(root->child(1)->text(0), QStringLiteral("b.Profile"));
}

void tst_frmConnectionInfo::showFormHandsBackTrimmedValues()
{
    Fixture f;
    {
        frmConnectionInfo dlg;
        Values v{QStringLiteral("127.0.0.1"), QString(), QStringLiteral("bob"), QStringLiteral("pw"), false};
        QString sShownPort;
        bool bShownNormal = false, bUserEnabled = false;
        const bool bOk = Run(dlg, v, [&] {
            sShownPort = Text(dlg, "txtPort");
            bShownNormal = Child<QRadioButton>(dlg, "optNormal")->isChecked();
            bUserEnabled = Child(dlg, "txtUserName")->isEnabled();
            Child(dlg, "txtHost")->setText(QStringLiteral("  127.0.0.2  "));
            Child(dlg, "txtUserName")->setText(QStringLiteral(" alice "));
            Child<QPushButton>(dlg, "cmdConnect1")->click();
        });
        QVERIFY(bOk);
        QCOMPARE(sShownPort, QStringLiteral("21"));
        QVERIFY(bShownNormal);
        QVERIFY(bUserEnabled);
        QCOMPARE(v.sAddress, QStringLiteral("127.0.0.2"));
        QCOMPARE(v.sPort, QStringLiteral("21"));
        QCOMPARE(v.sUser, QStringLiteral("alice"));
        QCOMPARE(v.sPassword, QStringLiteral("pw"));
        QVERIFY(!v.bAnonymous);
    }
    {
        // Enter in a box is Connect; an anonymous call keeps Anonymous.
        frmConnectionInfo dlg;
        Values v{QStringLiteral("::1"), QStringLiteral("2121"), QStringLiteral("anonymous"), QString(), true};
        QVERIFY(Run(dlg, v, [&] { QTest::keyClick(Child(dlg, "txtHost"), Qt::Key_Return); }));
        QCOMPARE(v.sPort, QStringLiteral("2121"));
        QCOMPARE(v.sAddress, QStringLiteral("::1"));
        QVERIFY(v.bAnonymous);
    }
    {
        // The menu-bar Connect hands back whatever the boxes hold.
        frmConnectionInfo dlg;
        Values v;
        QVERIFY(Run(dlg, v, [&] { Child<QAction>(dlg, "cmdConnect")->trigger(); }));
        QCOMPARE(v.sPort, QStringLiteral("21"));
        QVERIFY(!v.bAnonymous);
    }
}

void tst_frmConnectionInfo::cancelEscAndCloseBoxLeaveArgumentsUnchanged()
{
    Fixture f;
    const std::function<void(frmConnectionInfo&)> endings[] = {
        [](frmConnectionInfo& dlg) { Child<QPushButton>(dlg, "cmdCancel")->click(); },
        [](frmConnectionInfo& dlg) { dlg.close(); },
        [](frmConnectionInfo& dlg) { QTest::keyClick(Child(dlg, "txtHost"), Qt::Key_Escape); },
    };
    for (const auto& end : endings) {
        frmConnectionInfo dlg;
        Values v{QStringLiteral("127.0.0.1"), QString(), QStringLiteral("bob"), QStringLiteral("pw"), false};
        const bool bOk = Run(dlg, v, [&] {
            Child(dlg, "txtHost")->setText(QStringLiteral("127.0.0.9"));
            Child<QRadioButton>(dlg, "optAnonymous")->click();
            end(dlg);
        });
        QVERIFY(!bOk);
        QCOMPARE(v.sAddress, QStringLiteral("127.0.0.1"));
        QCOMPARE(v.sPort, QString());
        QCOMPARE(v.sUser, QStringLiteral("bob"));
        QCOMPARE(v.sPassword, QStringLiteral("pw"));
        QVERIFY(!v.bAnonymous);
    }
}

void tst_frmConnectionInfo::clickingEntriesDerivesTheLoginType()
{
    Fixture f;
    SaveFixture(QStringLiteral("Full"), QStringLiteral("bob"), QStringLiteral("secret"));
    SaveFixture(QStringLiteral("Anon"), QStringLiteral("anonymous"), QString());
    SaveFixture(QStringLiteral("NoPass"), QStringLiteral("carol"), QString());
    frmConnectionInfo dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* tree = Child<QTreeWidget>(dlg, "TView1");
    auto* anonymous = Child<QRadioButton>(dlg, "optAnonymous");
    auto* normal = Child<QRadioButton>(dlg, "optNormal");
    QLineEdit* user = Child(dlg, "txtUserName");
    QLineEdit* password = Child(dlg, "txtPassword");

    // Anonymous already selected: the empty stored password stays empty.
    Click(tree, QStringLiteral("Anon.Profile"));
    QVERIFY(anonymous->isChecked() && !normal->isChecked());
    QCOMPARE(password->text(), QString());
    QVERIFY(!user->isEnabled());
    QCOMPARE(Text(dlg, "txtSiteName"), QStringLiteral("Anon"));
    QCOMPARE(Text(dlg, "txtHost"), QStringLiteral("127.0.0.1"));
    QCOMPARE(Text(dlg, "txtPort"), QStringLiteral("2121"));

    // A user name with a stored password.
    Click(tree, QStringLiteral("Full.Profile"));
    QVERIFY(normal->isChecked() && !anonymous->isChecked());
    QCOMPARE(user->text(), QStringLiteral("bob"));
    QCOMPARE(password->text(), QStringLiteral("secret"));
    QVERIFY(user->isEnabled() && password->isEnabled());
    QCOMPARE(user->palette().color(QPalette::Base), dlg.palette().color(QPalette::Base));

    // Anonymous not selected: the defaults come in, and with them Save Password.
    Click(tree, QStringLiteral("Anon.Profile"));
    QVERIFY(normal->isChecked() && !anonymous->isChecked());
    QCOMPARE(user->text(), QStringLiteral("anonymous"));
    QCOMPARE(password->text(), QStringLiteral("kelvo@example.com"));
    QVERIFY(password->isEnabled());

    // Another user without a password: neither, boxes as they were.
    Click(tree, QStringLiteral("NoPass.Profile"));
    QVERIFY(!normal->isChecked() && !anonymous->isChecked());
    QCOMPARE(user->text(), QStringLiteral("carol"));
    QCOMPARE(password->text(), QString());
    QVERIFY(user->isEnabled() && password->isEnabled());
}

void tst_frmConnectionInfo::deleteEnablingFollowsTheSelection()
{
    Fixture f;
    SaveFixture(QStringLiteral("Home"), QStringLiteral("bob"), QStringLiteral("pw"));
    frmConnectionInfo dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    auto* tree = Child<QTreeWidget>(dlg, "TView1");
    auto* del = Child<QAction>(dlg, "cmdDeleteSite");

    Click(tree, QStringLiteral("Home.Profile"));
    QVERIFY(del->isEnabled());
    Click(tree, QStringLiteral("Profiles"));
    QVERIFY(!del->isEnabled());
    QCOMPARE(Text(dlg, "txtSiteName"), QStringLiteral("Home"));  // the root changes nothing else
    QTest::keyClick(tree, Qt::Key_Down);  // moving to an entry by keyboard picks it
    QVERIFY(del->isEnabled());

    Click(tree, QStringLiteral("Home.Profile"));
    Child<QAction>(dlg, "cmdNewSite")->trigger();
    QVERIFY(!del->isEnabled());
    QCOMPARE(Text(dlg, "txtSiteName"), QString());
    QCOMPARE(Text(dlg, "txtHost"), QString());
    QCOMPARE(Text(dlg, "txtUserName"), QString());  // Save Password selected: boxes emptied
    QCOMPARE(Text(dlg, "txtPort"), QStringLiteral("21"));

    Child<QRadioButton>(dlg, "optAnonymous")->click();
    Child<QAction>(dlg, "cmdNewSite")->trigger();
    QCOMPARE(Text(dlg, "txtUserName"), QStringLiteral("anonymous"));
    QCOMPARE(Text(dlg, "txtPassword"), QStringLiteral("kelvo@example.com"));

    Click(tree, QStringLiteral("Home.Profile"));
    QVERIFY(del->isEnabled());
    f.prompter.AnswerMessage(PromptResult::Ok);
    Child<QAction>(dlg, "cmdSaveSite")->trigger();
    QVERIFY(!del->isEnabled());
    QCOMPARE(f.prompter.shown().last().sText, QStringLiteral("Profile Saved"));
    QCOMPARE(f.prompter.shown().last().icon, PromptIcon::Information);
}

void tst_frmConnectionInfo::saveChecksAndReportsTheStoresAnswer()
{
    Fixture f;
    frmConnectionInfo dlg;
    auto* tree = Child<QTreeWidget>(dlg, "TView1");
    QAction* save = Child<QAction>(dlg, "cmdSaveSite");
    const auto lastShown = [&] { return f.prompter.shown().last(); };

    // Empty name, then empty host: the message, and no file.
    Child(dlg, "txtHost")->setText(QStringLiteral("127.0.0.1"));
    f.prompter.AnswerMessage(PromptResult::Ok);
    save->trigger();
    QCOMPARE(lastShown().sText, QStringLiteral("Please check Site name and Server Address!"));
    QCOMPARE(lastShown().icon, PromptIcon::Exclamation);
    Child(dlg, "txtSiteName")->setText(QStringLiteral("Home"));
    Child(dlg, "txtHost")->clear();
    f.prompter.AnswerMessage(PromptResult::Ok);
    save->trigger();
    QCOMPARE(lastShown().sText, QStringLiteral("Please check Site name and Server Address!"));
    QVERIFY(SiteProfiles::ListSites().isEmpty());

    // A name of blanks is a name; Anonymous stores no password although
    // the box shows one.
    Child(dlg, "txtSiteName")->setText(QStringLiteral("  "));
    Child(dlg, "txtHost")->setText(QStringLiteral("127.0.0.1"));
    f.prompter.AnswerMessage(PromptResult::Ok);
    save->trigger();
    QCOMPARE(lastShown().sText, QStringLiteral("Profile Saved"));
    QVERIFY(ProfileExists(QStringLiteral("  ")));
    QVERIFY(Entry(tree, QStringLiteral("  .Profile")));
    const SiteProfile stored = SiteProfiles::Read(QStringLiteral("  .Profile"));
    QCOMPARE(stored.sUserName, QStringLiteral("anonymous"));
    QCOMPARE(stored.sPassword, QString());
    QCOMPARE(stored.sPort, QStringLiteral("21"));

    // A name the store refuses: its reason, not a confirmation.
    Child(dlg, "txtSiteName")->setText(QStringLiteral("a/b"));
    f.prompter.AnswerMessage(PromptResult::Ok);
    save->trigger();
    QVERIFY(f.prompter.ScriptDone());
    const QString sRefusal = SiteProfiles::Save(
        {QStringLiteral("a/b"), QStringLiteral("127.0.0.1"), QStringLiteral("anonymous"), QString(), QStringLiteral("21")},
        false);
    QVERIFY(!sRefusal.isEmpty());
    QCOMPARE(lastShown().sText, sRefusal);
    QCOMPARE(lastShown().icon, PromptIcon::Exclamation);
    QCOMPARE(SiteProfiles::ListSites(), QStringList{QStringLiteral("  .Profile")});
}

void tst_frmConnectionInfo::geometryIsStoredAndRestored()
{
    Fixture f;
    const CRegister reg(f.store);
    reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection),
                       QLatin1String(Settings::kSaveWindowSize), QStringLiteral("1"));
    QSize doubled;
    {
        frmConnectionInfo dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* tree = Child<QTreeWidget>(dlg, "TView1");
        const QRect before = tree->geometry();
        dlg.resize(dlg.width() * 2, dlg.height());
        QTRY_VERIFY(tree->width() > before.width());
        QCOMPARE(tree->width(), before.width() * 2);  // the resizer keeps the proportions
        doubled = dlg.size();
    }
    QVERIFY(f.store.has(kHKEY_LOCAL_MACHINE, CRegister::NormalizeSection(QLatin1String(Settings::kSection)),
                          QStringLiteral("CONNECTION INFO WIDTH")));
    frmConnectionInfo again;
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(again.size(), doubled);
}

// The TLS choice: shown and handed back by ShowForm, read with a site,
// cleared by New, and stored by Save.
void tst_frmConnectionInfo::tlsChoiceTravelsWithTheSite()
{
    Fixture f;
    SiteProfile secure{QStringLiteral("Secure"), QStringLiteral("127.0.0.1"), QStringLiteral("u"), QString(),
                       QStringLiteral("2121"), true};
    QVERIFY(SiteProfiles::Save(secure, false).isEmpty());
    SaveFixture(QStringLiteral("Plain"), QStringLiteral("u"), QString());
    {
        frmConnectionInfo dlg;
        Values v;
        v.bUseTls = true;
        bool bShown = false;
        QVERIFY(Run(dlg, v, [&] {
            bShown = Child<QCheckBox>(dlg, "chkUseTls")->isChecked();
            QTest::keyClick(Child<QCheckBox>(dlg, "chkUseTls"), Qt::Key_Space);  // unticked from the keyboard
            Child<QPushButton>(dlg, "cmdConnect1")->click();
        }));
        QVERIFY(bShown);
        QVERIFY(!v.bUseTls);
    }
    {
        frmConnectionInfo dlg;
        Values v;
        QVERIFY(Run(dlg, v, [&] {
            auto* tree = Child<QTreeWidget>(dlg, "TView1");
            Click(tree, QStringLiteral("Secure.Profile"));
            Child<QPushButton>(dlg, "cmdConnect1")->click();
        }));
        QVERIFY(v.bUseTls);
        QCOMPARE(v.sPort, QStringLiteral("2121"));
    }
    frmConnectionInfo dlg;
    auto* tree = Child<QTreeWidget>(dlg, "TView1");
    auto* tls = Child<QCheckBox>(dlg, "chkUseTls");
    Click(tree, QStringLiteral("Secure.Profile"));
    QVERIFY(tls->isChecked());
    Click(tree, QStringLiteral("Plain.Profile"));
    QVERIFY(!tls->isChecked());
    Click(tree, QStringLiteral("Secure.Profile"));
    Child<QAction>(dlg, "cmdNewSite")->trigger();
    QVERIFY(!tls->isChecked());

    Child(dlg, "txtSiteName")->setText(QStringLiteral("Plain"));
    Child(dlg, "txtHost")->setText(QStringLiteral("127.0.0.1"));
    tls->setChecked(true);
    f.prompter.AnswerMessage(PromptResult::Ok);
    Child<QAction>(dlg, "cmdSaveSite")->trigger();
    QCOMPARE(f.prompter.shown().last().sText, QStringLiteral("Profile Saved"));
    QVERIFY(SiteProfiles::Read(QStringLiteral("Plain.Profile")).bUseTls);
}

QTEST_MAIN(tst_frmConnectionInfo)
#include "tst_frmConnectionInfo.moc"
