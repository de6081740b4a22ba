// The file-exists prompt: each button's answer, the frame close, Enter,
// "Apply To All" across prompts, a Resume with nothing to resume, and the
// window's geometry.
#include "MemoryRegistryBackend.h"
#include "TestEnvironment.h"

#include "remote/frmExist.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

template <typename T = QPushButton>
T* Child(const char* sName)
{
    T* child = frmExist::Loaded().findChild<T*>(QLatin1String(sName));
    if (!child) qFatal("no control %s", sName);
    return child;
}

const QString kSource = QStringLiteral("Source File Size: 2048 Last Modified: 2024-03-01 10:00");
const QString kDestination = QStringLiteral("Destination File Size: 1024 Last Modified: 2024-02-01 09:00");

}  // namespace

class tst_frmExist : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void frameCloseSkipsAndLeavesApplyToAll();
    void enterSkipsWhicheverButtonHasFocus();
    void resumeWithNothingToResumeIsDisabled();
    void geometryIsStoredOnUnloadUnlessMinimised();

private:
    // Asks; act runs on the window once it is up modally and must answer it.
    // Returns the answer and tells whether the window was shown.
    int Ask(bool bResumeAllowed, const std::function<void(frmExist&)>& act, bool* pShown = nullptr);
    bool Stored(const char* sWord) const
    {
        return m_store->has(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection).mid(1),
                            Settings::GeometryName(QLatin1String(Settings::kExistWindow), sWord));
    }

    std::unique_ptr<TestEnvironment> m_env;
    std::unique_ptr<MemoryRegistryBackend> m_store;
    std::unique_ptr<ScopedRegistryBackend> m_installed;
    std::unique_ptr<QWidget> m_owner;
};

void tst_frmExist::init()
{
    m_env = std::make_unique<TestEnvironment>();
    m_store = std::make_unique<MemoryRegistryBackend>();
    m_installed = std::make_unique<ScopedRegistryBackend>(*m_store);
    m_owner = std::make_unique<QWidget>();
    frmExist::ApplyToAll() = 0;
}

void tst_frmExist::cleanup()
{
    frmExist::Unload();
    OptionsForm::Unload();
    m_owner.reset();
    m_installed.reset();
    m_store.reset();
    m_env.reset();
}

int tst_frmExist::Ask(bool bResumeAllowed, const std::function<void(frmExist&)>& act, bool* pShown)
{
    bool bShown = false;
    bool bLeftOpen = false;
    QTimer timer;  // dies unfired when Ask returns without showing
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [&] {
        frmExist& dlg = frmExist::Loaded();
        bShown = dlg.isVisible() && dlg.isModal() && dlg.parentWidget() == m_owner.get();
        act(dlg);
        if (dlg.isVisible()) {
            bLeftOpen = true;
            dlg.reject();
        }
    });
    timer.start(0);
    const int nAnswer = frmExist::Ask(m_owner.get(), kSource, kDestination, bResumeAllowed);
    if (bLeftOpen) qWarning("the action left the window open");
    if (pShown) *pShown = bShown && !bLeftOpen;
    return bLeftOpen ? 1 : nAnswer;  // 1 is no answer of the window
}

void tst_frmExist::frameCloseSkipsAndLeavesApplyToAll()
{
    // With the box ticked a button press would set ApplyToAll; a close must not.
    Child<QCheckBox>("chkAll")->setChecked(true);
    frmExist::Loaded().Answer = frmExist::kOverwrite;
    bool bShown = false;
    QCOMPARE(Ask(true, [](frmExist& dlg) { dlg.close(); }, &bShown), -3);
    QVERIFY(bShown);
    QCOMPARE(frmExist::ApplyToAll(), 0);
    QVERIFY(frmExist::IsLoaded());

    frmExist::Loaded().Answer = frmExist::kOverwrite;
    QCOMPARE(Ask(true, [](frmExist& dlg) { QTest::keyClick(&dlg, Qt::Key_Escape); }, &bShown), -3);
    QVERIFY(bShown);
    QCOMPARE(frmExist::ApplyToAll(), 0);

    // A set flag stays set too (the window shown directly, as Ask would not).
    frmExist::ApplyToAll() = -1;
    Child<QCheckBox>("chkAll")->setChecked(false);
    QTimer::singleShot(0, this, [] { frmExist::Loaded().close(); });
    frmExist::Loaded().exec();
    QCOMPARE(frmExist::Loaded().Answer, -3);
    QCOMPARE(frmExist::ApplyToAll(), -1);
}

void tst_frmExist::enterSkipsWhicheverButtonHasFocus()
{
    QCOMPARE(Ask(true, [](frmExist& dlg) {
        Child("cmdOverwrite")->setFocus();
        QTest::keyClick(&dlg, Qt::Key_Return);
    }), -3);
}

void tst_frmExist::resumeWithNothingToResumeIsDisabled()
{
    frmExist::Loaded().Answer = frmExist::kOverwrite;
    bool bStayedOpen = false;
    QString sTip, sNote;
    bool bNoteShown = false;
    QCOMPARE(Ask(false, [&](frmExist& dlg) {
        QPushButton* resume = Child("cmdResume");
        sTip = resume->toolTip();
        sNote = Child<QLabel>("lblResumeNote")->text();
        bNoteShown = Child<QLabel>("lblResumeNote")->isVisible();
        resume->click();
        bStayedOpen = dlg.isVisible() && dlg.Answer == frmExist::kOverwrite;
        Child("cmdSkip")->click();
    }), -3);
    QVERIFY(bStayedOpen);
    QVERIFY(!frmExist::Loaded().ResumeAllowed());
    QCOMPARE(sTip, frmExist::NothingToResume());
    QCOMPARE(sNote, frmExist::NothingToResume());
    QVERIFY(bNoteShown);

    // The next file can be resumed again.
    bool bEnabled = false;
    QCOMPARE(Ask(true, [&](frmExist&) {
        bEnabled = Child("cmdResume")->isEnabled();
        bNoteShown = Child<QLabel>("lblResumeNote")->isVisible();
        Child("cmdResume")->click();
    }), -1);
    QVERIFY(bEnabled);
    QVERIFY(!bNoteShown);
    QCOMPARE(Child("cmdResume")->toolTip(), QStringLiteral("Resume transfer of this file"));

    frmExist::Loaded().SetResumeAllowed(false, QStringLiteral("The server cannot restart transfers."));
    QCOMPARE(Child("cmdResume")->toolTip(), QStringLiteral("The server cannot restart transfers."));
}

void tst_frmExist::geometryIsStoredOnUnloadUnlessMinimised()
{
    frmExist::Loaded().resize(530, 260);
    frmExist::Unload();
    QVERIFY(!frmExist::IsLoaded());
    for (const char* s : {"TOP", "LEFT", "HEIGHT", "WIDTH"}) QVERIFY2(Stored(s), s);
    QCOMPARE(frmExist::Loaded().size(), QSize(530, 260));  // restored on load
    frmExist::Unload();

    m_store = std::make_unique<MemoryRegistryBackend>();
    m_installed = std::make_unique<ScopedRegistryBackend>(*m_store);
    frmExist::Loaded().showMinimized();
    QVERIFY(frmExist::Loaded().isMinimized());
    frmExist::Unload();
    for (const char* s : {"TOP", "LEFT", "HEIGHT", "WIDTH"}) QVERIFY2(!Stored(s), s);
}

QTEST_MAIN(tst_frmExist)
#include "tst_frmExist.moc"
