#include "remote/frmRemoteChangeMode.h"
#include "ui/Named.h"

#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "ui/WindowGeometry.h"
#include "remote/ChangeMode.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
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
    setMinimumWidth(360);  // the title in full
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
    txtNumericValue = Named(new QLineEdit(this), "txtNumericValue");
    txtNumericValue->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-7]{0,4}")), txtNumericValue));
    txtNumericValue->setPlaceholderText(QStringLiteral("e.g. 644"));
    lblNeumericValue->setBuddy(txtNumericValue);
    valueRow->addWidget(lblNeumericValue);
    valueRow->addWidget(txtNumericValue);
    layout->addLayout(valueRow);
    lblNotListed = Named(new QLabel(QStringLiteral("The server does not list the permissions of this item: "
                                                   "tick the boxes or type a mode."),
                                    this),
                         "lblNotListed");
    lblNotListed->setWordWrap(true);
    lblNotListed->hide();
    layout->addWidget(lblNotListed);

    Frame1 = Named(new QGroupBox(QStringLiteral("Permissions"), this), "Frame1");
    auto* grid = new QGridLayout(Frame1);
    lblOwner = Named(new QLabel(QStringLiteral("Owner"), Frame1), "lblOwner");
    lblGroup = Named(new QLabel(QStringLiteral("Group"), Frame1), "lblGroup");
    lblOther = Named(new QLabel(QStringLiteral("Other"), Frame1), "lblOther");

    QCheckBox** const fields[] = {&chkOwnerRead, &chkOwnerWrite, &chkOwnerExecute, &chkGroupRead, &chkGroupWrite,
                                  &chkGroupExecute, &chkOtherRead, &chkOtherWrite, &chkOtherExecute};
    const char* const names[] = {"chkOwnerRead", "chkOwnerWrite", "chkOwnerExecute", "chkGroupRead", "chkGroupWrite",
                                 "chkGroupExecute", "chkOtherRead", "chkOtherWrite", "chkOtherExecute"};
    QLabel* const rows[] = {lblOwner, lblGroup, lblOther};
    const QString captions[] = {QStringLiteral("Read"), QStringLiteral("Write"), QStringLiteral("Execute")};
    for (int row = 0; row < 3; ++row) grid->addWidget(rows[row], row, 0);
    for (int i = 0; i < 9; ++i) {
        QCheckBox* box = Named(new QCheckBox(captions[i % 3], Frame1), names[i]);
        *fields[i] = m_boxes[i] = box;
        // Three boxes read "Read": the name says whose.
        box->setAccessibleName(rows[i / 3]->text() + QLatin1Char(' ') + captions[i % 3].toLower());
        grid->addWidget(box, i / 3, 1 + i % 3);
        // clicked, not toggled: only the user's click changes the number.
        const int nBit = ChangeMode::kBoxBits[i];
        connect(box, &QCheckBox::clicked, this, [this, nBit](bool bTicked) { BoxClicked(nBit, bTicked); });
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
    connect(txtNumericValue, &QLineEdit::textChanged, this, &frmRemoteChangeMode::ShowBoxesOfText);
    ShowBoxesOfText();
}

void frmRemoteChangeMode::reject()
{
    nResult = 0;
    hide();
}

QString frmRemoteChangeMode::NumericText() const { return txtNumericValue->text(); }

void frmRemoteChangeMode::Start(int nMode)
{
    txtNumericValue->setText(nMode >= 0 ? ChangeMode::TextOfMode(nMode) : QString());
    lblNotListed->setVisible(nMode < 0);
    ShowBoxesOfText();
    txtNumericValue->setFocus();
    txtNumericValue->selectAll();
}

void frmRemoteChangeMode::ShowBoxesOfText()
{
    const std::optional<int> nMode = ChangeMode::ModeOfText(txtNumericValue->text());
    for (int i = 0; i < 9; ++i) m_boxes[i]->setChecked(nMode && (*nMode & ChangeMode::kBoxBits[i]));
    cmdOk->setEnabled(nMode.has_value());
}

void frmRemoteChangeMode::BoxClicked(int nBit, bool bTicked)
{
    const int nMode = ChangeMode::ModeOfText(txtNumericValue->text()).value_or(0);
    txtNumericValue->setText(ChangeMode::TextOfMode(ChangeMode::WithBox(nMode, nBit, bTicked)));
}
