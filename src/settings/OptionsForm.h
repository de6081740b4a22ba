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
class OptionsForm final : public QDialog {
    Q_OBJECT
public:
    // The loaded window, loading it hidden first when needed.
    static OptionsForm& Loaded();
    static bool IsLoaded();
    // Closes and destroys the loaded window (end of the run, or between tests).
    static void Unload();

    bool AddToStartup() const;
    bool DeleteLogOnStartup() const;
    bool DeleteLogIfSizeExceeds() const;
    bool SaveWindowPosition() const;
    bool SaveWindowSize() const;

    void UpdateFirewallFields();
    void LoadFirewallSettings();
    void LoadGeneralSettings();

private:
    OptionsForm();
    void BuildControls();

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
};

// The geometry convention of every window but the main one: position and
// size are applied when "SAVE WINDOW POSITION" / "SAVE WINDOW SIZE" is 1 or
// the Options window's matching box is ticked.
void RestoreGeometryByConvention(QWidget* xWindow, const QString& sPrefix);
