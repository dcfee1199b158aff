#pragma once

#include "core/settings_record.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace kestrion {

class OptionsForm;
struct StoredKey;

// The options dialog: data source, data format and the miscellaneous
// settings, the download settings shared by all sources, and the Tiingo API
// key. It shows the values of an OptionsForm and has no OK or Cancel: every
// way of closing it writes its controls back into the form and runs the
// form's close step, which copies them into the settings record. The key is
// read from its store when the Sources page is first shown and stored again
// at close only when it was changed.
class frmOptions : public QDialog
{
    Q_OBJECT
public:
    // Builds the controls and loads them from the form (which loads itself
    // from the record first when it is not loaded).
    explicit frmOptions(OptionsForm& form, QWidget* parent = nullptr);
    ~frmOptions() override;

    // Writes the controls back into the form, runs its close step and stores
    // a changed key; once only. Every close of the dialog ends here.
    void finish();
    bool isFinished() const { return m_finished; }

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
    QLabel* lblADTError; // why the typed time is refused; hidden while it is a time
    QCheckBox* chkAutoRun;
    QLineEdit* txtAppName;
    QGroupBox* fraAlerts;
    QRadioButton* optActiveAlerts;
    QRadioButton* optPassiveLog;
    QCheckBox* chkPlaySound;

    // Page 2 "Sources": settings of the individual quote services and those
    // all of them share.
    QWidget* fraSources;
    QGroupBox* fraTiingo;
    QLabel* lblTiingoKey;
    QLineEdit* txtTiingoKey; // masked unless chkShowKey is ticked
    QCheckBox* chkShowKey;
    QLabel* lblKeyHelp;
    QLabel* lblKeyStorage; // where the key is kept, or that it is being read
    QGroupBox* fraAllSources;
    QLabel* lblParallelRequests;
    QSpinBox* spnParallelRequests; // the number in use: the stored one or the source's default
    QLabel* lblParallelNote;
    QCheckBox* chkUpdateExisting; // excludes chkDelExistFiles

    QButtonGroup* sourceGroup;
    QButtonGroup* formatGroup;
    QButtonGroup* alertsGroup;

public Q_SLOTS:
    // Every way out of the dialog (close box, Esc, accept/reject) ends here.
    // While the automatic download time is not a time of day the shown
    // dialog stays open on it; call finish() first to close regardless (the
    // stored time is kept then).
    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildSourcesPage();
    void loadFromForm();
    void applyToForm();
    void setFormatsEnabled(bool enabled);
    // Grows the dialog to the height its wrapped lines need at its width.
    void fitHeightToContents();
    // Shows or hides the reason the typed automatic download time is refused.
    void showAdtCheck();
    // The source the "From:" buttons show.
    QString checkedSource() const;
    // Shows the number of requests in use for the chosen source.
    void showParallelRequests();
    void startKeyRead();
    void showStoredKey(const StoredKey& stored);
    // Stores the key when it was read and then changed; the write finishes
    // after the dialog is gone.
    void saveKey();

    OptionsForm& m_form;
    bool m_finished = false;
    // As stored: 0 until the user changes the box, so that switching the
    // source shows that source's default.
    int m_parallelRequests = 0;
    bool m_showingParallel = false;
    bool m_keyReadStarted = false;
    bool m_keyLoaded = false;
    bool m_keyFromEnvironment = false;
    QString m_loadedKey;
};

} // namespace kestrion
