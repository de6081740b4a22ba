#include "remote/frmRemoteChangeMode.h"
#include "ui/Named.h"

#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "ui/WindowGeometry.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace {

QPointer<frmRemoteChangeMode> g_pLoaded;


}  // namespace

frmRemoteChangeMode& frmRemoteChangeMode::Loaded()
{
    if (!g_pLoaded) {
        g_pLoaded = new frmRemoteChangeMode;
        RestoreGeometryByConvention(g_pLoaded, QLatin1String(Settings::kRemoteChangeModeWindow));
    }
    return *g_pLoaded;
}

bool frmRemoteChangeMode::IsLoaded() { return !g_pLoaded.isNull(); }

void frmRemoteChangeMode::Unload() { delete g_pLoaded.data(); }

frmRemoteChangeMode::frmRemoteChangeMode()
{
    setObjectName(QStringLiteral("frmRemoteChangeMode"));
    setWindowTitle(QStringLiteral("File/Folder Permission Change"));
    BuildControls();
}

// Also runs when the owner window takes the loaded dialog down with it.
frmRemoteChangeMode::~frmRemoteChangeMode()
{
    StoreWindowGeometry(this, QLatin1String(Settings::kRemoteChangeModeWindow), CRegister());
}

void frmRemoteChangeMode::BuildControls()
{
    auto* layout = new QVBoxLayout(this);

    auto* valueRow = new QHBoxLayout;
    lblNeumericValue = Named(new QLabel(QStringLiteral("Numeric Value"), this), "lblNeumericValue");
    txtNumericValue = Named(new QLineEdit(QStringLiteral("0"), this), "txtNumericValue");
    lblNeumericValue->setBuddy(txtNumericValue);
    valueRow->addWidget(lblNeumericValue);
    valueRow->addWidget(txtNumericValue);
    layout->addLayout(valueRow);

    Frame1 = Named(new QGroupBox(QStringLiteral("Permissions"), this), "Frame1");
    auto* grid = new QGridLayout(Frame1);
    lblOwner = Named(new QLabel(QStringLiteral("Owner"), Frame1), "lblOwner");
    lblGroup = Named(new QLabel(QStringLiteral("Group"), Frame1), "lblGroup");
    lblOther = Named(new QLabel(QStringLiteral("Other"), Frame1), "lblOther");

    struct Box {
        QCheckBox*& box;
        const char* sName;
        int nWeight;
    };
    const Box boxes[] = {
        {chkOwnerRead, "chkOwnerRead", 400}, {chkOwnerWrite, "chkOwnerWrite", 200},
        {chkOwnerExecute, "chkOwnerExecute", 100}, {chkGroupRead, "chkGroupRead", 40},
        {chkGroupWrite, "chkGroupWrite", 20}, {chkGroupExecute, "chkGroupExecute", 10},
        {chkOtherRead, "chkOtherRead", 4}, {chkOtherWrite, "chkOtherWrite", 2},
        {chkOtherExecute, "chkOtherExecute", 1},
    };
    QLabel* const rows[] = {lblOwner, lblGroup, lblOther};
    const QString captions[] = {QStringLiteral("Read"), QStringLiteral("Write"), QStringLiteral("Execute")};
    for (int row = 0; row < 3; ++row) grid->addWidget(rows[row], row, 0);
    for (int i = 0; i < 9; ++i) {
        const Box& b = boxes[i];
        b.box = Named(new QCheckBox(captions[i % 3], Frame1), b.sName);
        grid->addWidget(b.box, i / 3, 1 + i % 3);
        // clicked, not toggled: only the user's click changes the number.
        const int nWeight = b.nWeight;
        connect(b.box, &QCheckBox::clicked, this, [this, nWeight](bool bTicked) { BoxClicked(nWeight, bTicked); });
    }
    layout->addWidget(Frame1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cmdOk = Named(new QPushButton(QStringLiteral("Ok"), this), "cmdOk", QStringLiteral("Change Mode"));
    cmdOk->setDefault(true);  // Enter is Ok from every box
    cmdCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel", QStringLiteral("Close window"));
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    layout->addLayout(buttons);

    connect(cmdOk, &QPushButton::clicked, this, [this] {
        nResult = 1;
        hide();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &frmRemoteChangeMode::reject);
}

void frmRemoteChangeMode::reject()
{
    nResult = 0;
    hide();
}

QString frmRemoteChangeMode::NumericText() const { return txtNumericValue->text(); }

qlonglong frmRemoteChangeMode::LeadingNumber(const QString& sText)
{
    // Up to 15 digits, so that adding a weight cannot overflow.
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?\\d{1,15})"));
    const QRegularExpressionMatch match = number.match(sText);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

void frmRemoteChangeMode::BoxClicked(int nWeight, bool bTicked)
{
    const qlonglong value = LeadingNumber(txtNumericValue->text());
    txtNumericValue->setText(QString::number(bTicked ? value + nWeight : value - nWeight));
}
