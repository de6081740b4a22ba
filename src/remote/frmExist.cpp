#include "remote/frmExist.h"
#include "ui/Named.h"

#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"
#include "ui/WindowGeometry.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QPointer<frmExist> g_pLoaded;
int g_nApplyToAll = 0;  // outlives the window: the engines own its reset

const QString kResumeTip = QStringLiteral("Resume transfer of this file");


}  // namespace

frmExist& frmExist::Loaded()
{
    if (!g_pLoaded) {
        g_pLoaded = new frmExist;
        RestoreGeometryByConvention(g_pLoaded, QLatin1String(Settings::kExistWindow));
    }
    return *g_pLoaded;
}

bool frmExist::IsLoaded() { return !g_pLoaded.isNull(); }

void frmExist::Unload() { delete g_pLoaded.data(); }

int& frmExist::ApplyToAll() { return g_nApplyToAll; }

QString frmExist::NothingToResume()
{
    return QStringLiteral("The destination is not smaller than the source, so there is nothing to resume.");
}

int frmExist::Ask(QWidget* owner, const QString& sSourceCaption, const QString& sDestinationCaption,
                  bool bResumeAllowed)
{
    frmExist& dialog = Loaded();
    dialog.SetCaptions(sSourceCaption, sDestinationCaption);
    dialog.SetResumeAllowed(bResumeAllowed);
    if (ApplyToAll() != 0) {
        // Resuming a destination that is already complete (or larger) would
        // only append to it; leaving it alone is the safe reading of "Resume".
        if (dialog.Answer == kResume && !bResumeAllowed) return kSkip;
        return dialog.Answer;
    }
    if (owner && dialog.parentWidget() != owner) dialog.setParent(owner, dialog.windowFlags());
    dialog.cmdSkip->setFocus();
    // A stored size from a shorter text must not squeeze the captions.
    dialog.resize(dialog.size().expandedTo(dialog.sizeHint()));
    const QPointer<frmExist> guard(&dialog);
    dialog.m_bAnswered = false;
    dialog.exec();
    // Ended without an answer (the program is closing, and the window may
    // be gone with it): the file is left alone, as Cancel does.
    if (!guard || !guard->m_bAnswered) return kCancel;
    return guard->Answer;
}

frmExist::frmExist()
{
    setObjectName(QStringLiteral("frmExist"));
    setWindowTitle(QStringLiteral("File Exists!"));
    BuildControls();
}

// Also runs when the owner window takes the loaded dialog down with it.
frmExist::~frmExist() { StoreWindowGeometry(this, QLatin1String(Settings::kExistWindow), CRegister()); }

void frmExist::BuildControls()
{
    auto* layout = new QVBoxLayout(this);
    Label1 = Named(new QLabel(QStringLiteral("File Already Exists What Would You Like To Do?"), this), "Label1");
    layout->addWidget(Label1);

    const int nIcon = style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, this);
    auto* files = new QGridLayout;
    imgSource = Named(new QLabel(this), "imgSource");
    imgSource->setPixmap(style()->standardIcon(QStyle::SP_FileIcon, nullptr, this).pixmap(nIcon));
    lblSource = Named(new QLabel(QStringLiteral("Source"), this), "lblSource");
    imgDestination = Named(new QLabel(this), "imgDestination");
    imgDestination->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon, nullptr, this).pixmap(nIcon));
    lblDestination = Named(new QLabel(QStringLiteral("Destination"), this), "lblDestination");
    for (QLabel* label : {lblSource, lblDestination}) {
        label->setTextFormat(Qt::PlainText);  // captions carry file details, never markup
        label->setWordWrap(true);
    }
    files->addWidget(imgSource, 0, 0);
    files->addWidget(lblSource, 0, 1);
    files->addWidget(imgDestination, 1, 0);
    files->addWidget(lblDestination, 1, 1);
    files->setColumnStretch(1, 1);
    layout->addLayout(files);

    lblResumeNote = Named(new QLabel(this), "lblResumeNote");
    lblResumeNote->setWordWrap(true);
    lblResumeNote->hide();
    layout->addWidget(lblResumeNote);

    chkAll = Named(new QCheckBox(QStringLiteral("Apply To All"), this), "chkAll",
                   QStringLiteral("Apply to all selected files and folders"));
    layout->addWidget(chkAll);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    struct Button {
        QPushButton*& button;
        const char* sName;
        QString sCaption;
        QString sTip;
        int nAnswer;
    };
    const Button list[] = {
        {cmdOverwrite, "cmdOverwrite", QStringLiteral("&Overwrite"), QStringLiteral("Overwrite this file"), kOverwrite},
        {cmdResume, "cmdResume", QStringLiteral("&Resume"), kResumeTip, kResume},
        {cmdSkip, "cmdSkip", QStringLiteral("Skip"), QStringLiteral("Skip this file"), kSkip},
        {cmdCancel, "cmdCancel", QStringLiteral("&Cancel"), QStringLiteral("Cancel operation"), kCancel},
    };
    for (const Button& b : list) {
        b.button = Named(new QPushButton(b.sCaption, this), b.sName, b.sTip);
        // Enter always means the default button, whichever button has focus.
        b.button->setAutoDefault(false);
        buttons->addWidget(b.button);
        const int nAnswer = b.nAnswer;
        connect(b.button, &QPushButton::clicked, this, [this, nAnswer] { Press(nAnswer); });
    }
    // Enter skips: the one answer that neither changes a file nor stops the run.
    cmdSkip->setDefault(true);
    layout->addLayout(buttons);
}

void frmExist::SetCaptions(const QString& sSourceCaption, const QString& sDestinationCaption)
{
    lblSource->setText(sSourceCaption);
    lblDestination->setText(sDestinationCaption);
}

void frmExist::SetResumeAllowed(bool bAllowed, const QString& sWhy)
{
    const QString sReason = sWhy.isEmpty() ? NothingToResume() : sWhy;
    cmdResume->setEnabled(bAllowed);
    cmdResume->setToolTip(bAllowed ? kResumeTip : sReason);
    lblResumeNote->setText(bAllowed ? QString() : sReason);
    lblResumeNote->setHidden(bAllowed);
}

bool frmExist::ResumeAllowed() const { return cmdResume->isEnabled(); }

void frmExist::Press(int nAnswer)
{
    Answer = nAnswer;
    m_bAnswered = true;
    ApplyToAll() = chkAll->isChecked() ? -1 : 0;
    hide();  // ends the modal showing; the window stays loaded
}

void frmExist::reject()
{
    Answer = kSkip;
    m_bAnswered = true;
    hide();
}
