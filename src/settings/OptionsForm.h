#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;

// The "Settings" window. Start-up and every window that restores its
// geometry read some of its check boxes, so it is loaded (hidden) by the
// first reader and then stays loaded for the rest of the run.
//
// Loading reads the stored settings into the controls; ticking or unticking
// "Add Kelvo To Windows Startup" writes or removes the start-up entry at
// once, including when loading ticks it.
//
// Closing it (Save, Close, the close box or Esc) stores its geometry, asks
// whether to apply changed options, and unloads it; the next reader loads
// it afresh from the store.
class OptionsForm final : public QDialog {
    Q_OBJECT
public:
    // The loaded window, loading it hidden first when needed.
    static OptionsForm& Loaded();
    static bool IsLoaded();
    // Destroys the loaded window without a question (end of the run, or
    // between tests).
    static void Unload();
    // Shows the window modally over owner until it is closed.
    static void ShowModal(QWidget* owner);

    bool AddToStartup() const;
    bool DeleteLogOnStartup() const;
    bool DeleteLogIfSizeExceeds() const;
    bool SaveWindowPosition() const;
    bool SaveWindowSize() const;

    void UpdateFirewallFields();
    void LoadFirewallSettings();
    void LoadGeneralSettings();
    void SaveGeneralSettings();
    void SaveFirewallSettings();
    // Asks whether to apply changes when any control differs from the
    // store; false when the window must stay open (a refused log file name).
    bool ConfirmUnsavedOptions();

    // The message shown when the log file name would reach outside the
    // program's log folder.
    static QString LogFileNameRefused();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // Esc closes as the close box does

private:
    OptionsForm();
    void BuildControls();
    void Save();
    bool LogFileNameAccepted();
    void UpdateFieldWarnings();

    QTabWidget* SSTab1 = nullptr;
    QCheckBox* chkPasv = nullptr;
    QCheckBox* chkSaveWindowSize = nullptr;
    QCheckBox* chkSaveWindowPosition = nullptr;
    QGroupBox* frameLogFile = nullptr;
    QRadioButton* optDeleteLogIfSizeExceeds = nullptr;
    QLineEdit* txtLogFileSize = nullptr;
    QLabel* lblKiloBytes = nullptr;
    QRadioButton* optDeleteLogOnStartup = nullptr;
    QLabel* lblLogFileName = nullptr;
    QLineEdit* txtLogFilename = nullptr;
    QCheckBox* chkAddToStartup = nullptr;
    QCheckBox* chkFirewall = nullptr;
    QComboBox* comboFirewallType = nullptr;
    QLineEdit* txtFirewallHostName = nullptr;
    QLineEdit* txtFirewallPort = nullptr;
    QLineEdit* txtFirewallUserName = nullptr;
    QLineEdit* txtFirewallPassword = nullptr;
    QLabel* lblLogFileSizeWarning = nullptr;
    QLabel* lblFirewallPortWarning = nullptr;
    bool m_bClosing = false;
};

// The geometry convention of every window but the main one: position and
// size are applied when "SAVE WINDOW POSITION" / "SAVE WINDOW SIZE" is 1 or
// the Options window's matching box is ticked.
void RestoreGeometryByConvention(QWidget* xWindow, const QString& sPrefix);
