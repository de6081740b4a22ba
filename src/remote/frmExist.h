#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

// "File Exists!": asked by the download and upload engines before a file is
// transferred onto an existing one that differs in size or date. It shows
// both files' sizes and dates and answers Overwrite, Resume, Skip or Cancel,
// optionally for the rest of the transfer run ("Apply To All").
//
// The window is loaded once and only hidden after an answer, so Answer stays
// readable afterwards; Unload stores the geometry and destroys it.
class frmExist final : public QDialog {
    Q_OBJECT
public:
    // Values of Answer, one per button.
    static constexpr int kOverwrite = 0;
    static constexpr int kResume = -1;
    static constexpr int kCancel = -2;
    static constexpr int kSkip = -3;

    // The loaded window, loading it (hidden, geometry restored) when needed.
    static frmExist& Loaded();
    static bool IsLoaded();
    // Stores the geometry (unless minimised) and destroys the window.
    static void Unload();

    // Shared with the engines, which set it to 0 when a run starts. -1 after
    // a button press with "Apply To All" ticked, 0 after one without; while it
    // is non-zero no window is shown and the last Answer is used again.
    static int& ApplyToAll();

    // The reason Ask gives when resuming is not allowed.
    static QString NothingToResume();

    // Sets the two captions and the Resume state, shows the window modally
    // over owner unless ApplyToAll() is non-zero, and returns the answer.
    // A remembered Resume cannot apply to a file with nothing to resume: that
    // file is skipped (kSkip is returned, Answer stays Resume).
    static int Ask(QWidget* owner, const QString& sSourceCaption, const QString& sDestinationCaption,
                   bool bResumeAllowed);

    ~frmExist() override;

    // The last button pressed; Skip after the close box or Esc.
    int Answer = kOverwrite;

    void SetCaptions(const QString& sSourceCaption, const QString& sDestinationCaption);
    // A disallowed Resume is disabled, and sWhy (NothingToResume() when
    // empty) goes into its tool tip and a line under the file details.
    void SetResumeAllowed(bool bAllowed, const QString& sWhy = QString());
    bool ResumeAllowed() const;

    // Esc and the close box end here: the file is skipped and ApplyToAll()
    // is left as it was.
    void reject() override;

private:
    frmExist();
    void BuildControls();
    void Press(int nAnswer);

    QLabel* Label1 = nullptr;
    QLabel* imgSource = nullptr;
    QLabel* lblSource = nullptr;
    QLabel* imgDestination = nullptr;
    QLabel* lblDestination = nullptr;
    QLabel* lblResumeNote = nullptr;
    QCheckBox* chkAll = nullptr;
    QPushButton* cmdOverwrite = nullptr;
    QPushButton* cmdResume = nullptr;
    QPushButton* cmdSkip = nullptr;
    QPushButton* cmdCancel = nullptr;
    bool m_bAnswered = false;  // a button, Esc or the close box ended the showing
};
