#pragma once

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;

namespace kestrion {

struct Settings;
struct StoredKey;

// The options dialog: data source, data format and the miscellaneous
// settings of the program-wide Settings record, and the Tiingo API key. It
// has no OK or Cancel: loading copies the record into the controls, and every
// way of closing it copies the controls back. The key is read from its store
// when the Sources page is first shown and stored again at close only when
// it was changed. The one instance is reached through
// optionsDialog() below, which loads it hidden when needed.
class frmOptions : public QDialog
{
    Q_OBJECT
public:
    // Builds the controls and loads them from appState().settings.
    explicit frmOptions(QWidget* parent = nullptr);
    ~frmOptions() override;

    // The close step: copies every control into the record ("Play Sound" is
    // written by its check box as it is clicked, not here).
    void saveToSettings(Settings& settings) const;

    // The Wall Street City format buttons in the order their codes are
    // compared and written.
    std::array<QRadioButton*, 6> formatButtons() const;
    // The code stored for a format button; empty for any other button.
    static QString formatCode(const QRadioButton* button);

    QTabWidget* TabStrip1;
    std::array<QWidget*, 2> Frame1; // page 0 "Data Source", page 1 "Miscellaneous Settings"

    QGroupBox* fraFrom;
    QRadioButton* optYahoo;
    QRadioButton* optWallSt;
    QRadioButton* optYahooChart;
    QRadioButton* optTiingo;
    QGroupBox* fraFormat;
    QRadioButton* optASCII1;
    QRadioButton* optASCII7;
    QRadioButton* optDIF7;
    QRadioButton* optHEADER5;
    QRadioButton* optHEADER7;
    QRadioButton* optYYMMDD7;

    QCheckBox* chkDelExistFiles;
    QCheckBox* chkDateStamp;
    QCheckBox* chkConvertoMS;
    QLabel* lblFileExt;
    QLineEdit* txtFileExt;
    QGroupBox* fraAutoDownload;
    QLabel* lblADT;
    QLineEdit* txtADT;
    QLabel* lblADTHint;
    QCheckBox* chkAutoRun;
    QLineEdit* txtAppName;
    QGroupBox* fraAlerts;
    QRadioButton* optActiveAlerts;
    QRadioButton* optPassiveLog;
    QCheckBox* chkPlaySound;

    // Page 2 "Sources": settings of the individual quote services.
    QWidget* fraSources;
    QGroupBox* fraTiingo;
    QLabel* lblTiingoKey;
    QLineEdit* txtTiingoKey; // masked unless chkShowKey is ticked
    QCheckBox* chkShowKey;
    QLabel* lblKeyHelp;
    QLabel* lblKeyStorage; // where the key is kept, or that it is being read

    QButtonGroup* sourceGroup;
    QButtonGroup* formatGroup;
    QButtonGroup* alertsGroup;

public Q_SLOTS:
    // Every way out of the dialog (close box, Esc, accept/reject) ends here:
    // the close step runs and the dialog is unloaded.
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void startKeyRead();
    void showStoredKey(const StoredKey& stored);
    // Stores the key when it was read and then changed; the write finishes
    // after the dialog is gone.
    void saveKey();
    void loadFromSettings(const Settings& settings);
    void setFormatsEnabled(bool enabled);
    // Runs the close step once and leaves the program-wide slot, so the next
    // access loads a fresh dialog from the record.
    void finishClose();

    bool m_closed = false;
    bool m_keyReadStarted = false;
    bool m_keyLoaded = false;
    bool m_keyFromEnvironment = false;
    QString m_loadedKey;

    friend void unloadOptionsDialog();
    friend void showOptionsDialog(QWidget* owner);
};

// The loaded options dialog, loading it hidden (owned by mainWindow) on first
// use or after it was unloaded. The main window's activation reads
// optionsDialog(this).txtADT->text(); the launch prompt writes txtAppName.
frmOptions& optionsDialog(QWidget* mainWindow);
bool isOptionsDialogLoaded();
// Runs the close step and destroys the dialog; nothing when it is not
// loaded. The main window calls this at shutdown before it saves the settings.
void unloadOptionsDialog();
// View > Options: shows the dialog modally over owner. When it closes its
// controls have been copied into the record and the dialog is unloaded.
void showOptionsDialog(QWidget* owner);

} // namespace kestrion
