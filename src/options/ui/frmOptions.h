#pragma once

#include "core/settings_record.h"

#include <QDialog>

#include <array>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;
class QScrollArea;
class QSpinBox;
class QTabWidget;

namespace kestrion {

class ApiKeyField;
class OptionsForm;

// The options dialog: data source, data format and the miscellaneous
// settings, the download settings shared by all sources, and the API key of
// each service that takes one. It shows the values of an OptionsForm and has no OK or Cancel: every
// way of closing it writes its controls back into the form and runs the
// form's close step, which copies them into the settings record. The keys
// are read from their stores when the Sources page is first shown and stored
// again at close only when they were changed.
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
    // A service described in a file: the button stands for the one the list
    // shows. Disabled when no description could be used.
    QRadioButton* optOtherSource;
    QComboBox* cboOtherSource; // one item per described service, its "Data Source" text
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
    // Tiingo's key field and its controls.
    QGroupBox* fraTiingo;
    QLabel* lblTiingoKey;
    QLineEdit* txtTiingoKey; // masked unless chkShowKey is ticked
    QCheckBox* chkShowKey;
    QLabel* lblKeyHelp;
    QLabel* lblKeyStorage; // where the key is kept, or that it is being read
    // One key field per service that takes a key, Tiingo's first; the
    // described services' fields scroll in scrServiceKeys.
    std::vector<ApiKeyField*> keyFields;
    QScrollArea* scrServiceKeys;
    // The description files left out, "file: key: fault" each; hidden when
    // every one was usable.
    QLabel* lblSourceProblems;
    QListWidget* lstSourceProblems;
    QGroupBox* fraAllSources;
    QLabel* lblParallelRequests;
    QSpinBox* spnParallelRequests; // the number in use: the stored one or the source's default
    QLabel* lblParallelNote;
    QCheckBox* chkUpdateExisting; // excludes chkDelExistFiles

    QButtonGroup* sourceGroup; // the four built-in services
    QButtonGroup* otherSourceGroup; // optOtherSource alone; checking either group clears the other
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
    void buildOtherSource();
    void buildSourcesPage();
    void buildKeyFields();
    void showSourceProblems();
    void loadFromForm();
    void applyToForm();
    void setFormatsEnabled(bool enabled);
    // Grows the dialog to the height its wrapped lines need at its width.
    void fitHeightToContents();
    // Shows or hides the reason the typed automatic download time is refused.
    void showAdtCheck();
    // The source the "From:" buttons show.
    QString checkedSource() const;
    // Shows what follows from the chosen source: whether the formats apply,
    // the requests in use.
    void showCheckedSource();
    // Shows the number of requests in use for the chosen source.
    void showParallelRequests();
    // Checks the described service's button and selects it in the list.
    void checkOtherSource(const QString& storedText);
    void startKeyReads();
    // Stores each key that was read and then changed; the writes finish
    // after the dialog is gone.
    void saveKeys();

    OptionsForm& m_form;
    bool m_finished = false;
    // As stored: 0 until the user changes the box, so that switching the
    // source shows that source's default.
    int m_parallelRequests = 0;
    bool m_showingParallel = false;
};

} // namespace kestrion
