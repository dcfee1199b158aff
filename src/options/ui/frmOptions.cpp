#include "options/ui/frmOptions.h"

#include "options/options_form.h"
#include "options/ui/api_key_field.h"
#include "platform/twips.h"
#include "schedule/adt_clock.h"
#include "sources/source_registry.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <utility>

namespace kestrion {

namespace {

const char* const kFormatCodeProperty = "formatCode";

// The form's size as drawn, in twips; on screen the layout's minimum wins if
// it needs more.
constexpr int kWidthTwips = 7032;
constexpr int kHeightTwips = 4000;

// A new widget with its object name, the name the tests find it by; the
// member that holds it may be called anything.
template <typename Widget, typename... Args> Widget* named(const char* name, Args&&... args)
{
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QRadioButton* radio(QWidget* parent, const char* name, const QString& caption)
{
    return named<QRadioButton>(name, caption, parent);
}

QCheckBox* checkBox(QWidget* parent, const char* name, const QString& caption)
{
    return named<QCheckBox>(name, caption, parent);
}

QLineEdit* lineEdit(QWidget* parent, const char* name)
{
    return named<QLineEdit>(name, parent);
}

QLabel* label(QWidget* parent, const char* name, const QString& text)
{
    return named<QLabel>(name, text, parent);
}

QGroupBox* group(QWidget* parent, const char* name, const QString& title)
{
    return named<QGroupBox>(name, title, parent);
}

} // namespace

frmOptions::frmOptions(OptionsForm& form, QWidget* parent)
    : QDialog(parent)
    , m_form(form)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    buildControls();
    loadFromForm();
}

frmOptions::~frmOptions() = default;

void frmOptions::buildControls()
{
    TabStrip1 = new QTabWidget(this);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    Frame1[0] = new QWidget;
    Frame1[0]->setObjectName(QStringLiteral("Frame1_0"));
    Frame1[1] = new QWidget;
    Frame1[1]->setObjectName(QStringLiteral("Frame1_1"));
    TabStrip1->addTab(Frame1[0], QStringLiteral("Data Source"));
    TabStrip1->setTabToolTip(0, QStringLiteral("Data Source Options"));
    TabStrip1->addTab(Frame1[1], QStringLiteral("Miscellaneous Settings"));
    TabStrip1->setTabToolTip(1, QStringLiteral("Miscellaneous Settings Options"));
    fraSources = new QWidget;
    fraSources->setObjectName(QStringLiteral("fraSources"));
    TabStrip1->addTab(fraSources, QStringLiteral("Sources"));
    TabStrip1->setTabToolTip(2, QStringLiteral("Quote Service Settings"));

    // Page 0: where the quotes come from and, for Wall Street City, in which layout.
    QWidget* page0 = Frame1[0];
    fraFrom = group(page0, "fraFrom", QStringLiteral("From:"));
    optYahoo = radio(fraFrom, "optYahoo", QStringLiteral("Yahoo! Finance"));
    optWallSt = radio(fraFrom, "optWallSt", QStringLiteral("Wall Street City"));
    optYahooChart = radio(fraFrom, "optYahooChart", QStringLiteral("Yahoo Chart"));
    optTiingo = radio(fraFrom, "optTiingo", QStringLiteral("Tiingo"));
    optTiingo->setToolTip(QStringLiteral("Needs a free API key: enter it on the Sources page."));
    auto* fromLayout = new QVBoxLayout(fraFrom);
    fromLayout->addWidget(optYahoo);
    fromLayout->addWidget(optWallSt);
    fromLayout->addWidget(optYahooChart);
    fromLayout->addWidget(optTiingo);
    buildOtherSource();
    fromLayout->addStretch();

    fraFormat = group(page0, "fraFormat", QStringLiteral("Format:"));
    optASCII1 = radio(fraFormat, "optASCII1", QStringLiteral("ASCII 1 - Quicken Format"));
    optASCII7 = radio(fraFormat, "optASCII7", QStringLiteral("ASCII 7 - MetaStock, AIQ, Etc."));
    optDIF7 = radio(fraFormat, "optDIF7", QStringLiteral("DIF 7 - Spreadsheet Format"));
    optHEADER5 = radio(fraFormat, "optHEADER5", QStringLiteral("HEADER 5 - SuperCharts"));
    optHEADER7 = radio(fraFormat, "optHEADER7", QStringLiteral("HEADER 7 - SuperCharts"));
    optYYMMDD7 = radio(fraFormat, "optYYMMDD7", QStringLiteral("YYMMDD7 - Invest 5"));
    auto* formatLayout = new QVBoxLayout(fraFormat);
    const std::array<QRadioButton*, 6> formats = formatButtons();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        formats[i]->setProperty(kFormatCodeProperty, OptionsForm::formatCodes()[i]);
        formatLayout->addWidget(formats[i]);
    }

    auto* page0Layout = new QHBoxLayout(page0);
    page0Layout->addWidget(fraFrom, 1);
    page0Layout->addWidget(fraFormat, 2);

    // Page 1: output files, the automatic download and the alerts.
    QWidget* page1 = Frame1[1];
    chkDelExistFiles = checkBox(page1, "chkDelExistFiles", QStringLiteral("Delete Existing Files"));
    chkDateStamp = checkBox(page1, "chkDateStamp", QStringLiteral("Date Stamp Filenames"));
    chkConvertoMS = checkBox(page1, "chkConvertoMS", QStringLiteral("Convert Files to MetaStock Format"));
    lblFileExt = label(page1, "lblFileExt", QStringLiteral("File Extension:"));
    txtFileExt = lineEdit(page1, "txtFileExt");
    lblFileExt->setBuddy(txtFileExt);
    auto* filesLayout = new QGridLayout;
    filesLayout->addWidget(chkDelExistFiles, 0, 0, 1, 2);
    filesLayout->addWidget(chkDateStamp, 1, 0, 1, 2);
    filesLayout->addWidget(chkConvertoMS, 2, 0, 1, 2);
    filesLayout->addWidget(lblFileExt, 3, 0);
    filesLayout->addWidget(txtFileExt, 3, 1);
    filesLayout->setRowStretch(4, 1);

    fraAlerts = group(page1, "fraAlerts", QStringLiteral("Download Alerts:"));
    optActiveAlerts = radio(fraAlerts, "optActiveAlerts", QStringLiteral("Active Download Alerts"));
    optPassiveLog = radio(fraAlerts, "optPassiveLog", QStringLiteral("Passive Log to File"));
    chkPlaySound = checkBox(fraAlerts, "chkPlaySound", QStringLiteral("Alert When Download Complete"));
    auto* alertsLayout = new QVBoxLayout(fraAlerts);
    alertsLayout->addWidget(optActiveAlerts);
    alertsLayout->addWidget(optPassiveLog);
    alertsLayout->addWidget(chkPlaySound);
    alertsLayout->addStretch();

    fraAutoDownload = group(page1, "fraAutoDownload", QStringLiteral("Automatic Download Settings:"));
    lblADT = label(fraAutoDownload, "lblADT", QStringLiteral("Auto Download Time:"));
    txtADT = lineEdit(fraAutoDownload, "txtADT");
    lblADT->setBuddy(txtADT);
    lblADTHint = label(fraAutoDownload, "lblADTHint", QStringLiteral("(hh:mm:ss AM/PM)"));
    lblADTError = label(fraAutoDownload, "lblADTError", QString());
    lblADTError->setWordWrap(true);
    lblADTError->setStyleSheet(QStringLiteral("color: #b00000;"));
    lblADTError->setHidden(true);
    chkAutoRun = checkBox(fraAutoDownload, "chkAutoRun", QStringLiteral("Launch Application:"));
    txtAppName = lineEdit(fraAutoDownload, "txtAppName");
    txtAppName->setEnabled(false); // editable only while "Launch Application:" is ticked
    auto* autoLayout = new QGridLayout(fraAutoDownload);
    autoLayout->addWidget(lblADT, 0, 0);
    autoLayout->addWidget(txtADT, 0, 1);
    autoLayout->addWidget(lblADTHint, 0, 2);
    autoLayout->addWidget(lblADTError, 1, 1, 1, 2);
    autoLayout->addWidget(chkAutoRun, 2, 0);
    autoLayout->addWidget(txtAppName, 2, 1, 1, 2);
    autoLayout->setColumnStretch(1, 1);

    auto* page1Layout = new QGridLayout(page1);
    page1Layout->addLayout(filesLayout, 0, 0);
    page1Layout->addWidget(fraAlerts, 0, 1);
    page1Layout->addWidget(fraAutoDownload, 1, 0, 1, 2);

    buildSourcesPage();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(TabStrip1);
    resize(twipsToPixels(kWidthTwips), twipsToPixels(kHeightTwips));
    fitHeightToContents();

    // Each set of option buttons is its own choice. A disabled button keeps
    // its selection, so a format picked for Wall Street City survives a
    // switch to Yahoo! Finance and back.
    sourceGroup = new QButtonGroup(this);
    sourceGroup->setObjectName(QStringLiteral("sourceGroup"));
    sourceGroup->addButton(optYahoo);
    sourceGroup->addButton(optWallSt);
    sourceGroup->addButton(optYahooChart);
    sourceGroup->addButton(optTiingo);
    otherSourceGroup = new QButtonGroup(this);
    otherSourceGroup->setObjectName(QStringLiteral("otherSourceGroup"));
    otherSourceGroup->addButton(optOtherSource);
    formatGroup = new QButtonGroup(this);
    formatGroup->setObjectName(QStringLiteral("formatGroup"));
    for (QRadioButton* b : formatButtons())
        formatGroup->addButton(b);
    alertsGroup = new QButtonGroup(this);
    alertsGroup->setObjectName(QStringLiteral("alertsGroup"));
    alertsGroup->addButton(optActiveAlerts);
    alertsGroup->addButton(optPassiveLog);

    // A box not set by the user shows the default of the source chosen now;
    // the layouts apply to the sources the registry says they do.
    // The two groups are one choice: checking a button in either clears the
    // other.
    for (auto [group, other] : {std::pair{sourceGroup, otherSourceGroup}, std::pair{otherSourceGroup, sourceGroup}}) {
        connect(group, &QButtonGroup::buttonToggled, this, [this, other](QAbstractButton*, bool checked) {
            if (!checked)
                return;
            if (QAbstractButton* before = other->checkedButton()) {
                // An exclusive group keeps its checked button.
                other->setExclusive(false);
                before->setChecked(false);
                other->setExclusive(true);
            }
            showCheckedSource();
        });
    }
    connect(chkAutoRun, &QCheckBox::toggled, txtAppName, &QLineEdit::setEnabled);
    connect(txtADT, &QLineEdit::textChanged, this, &frmOptions::showAdtCheck);
    // The completion alert takes effect at once, even for a run started
    // while the dialog is open.
    connect(chkPlaySound, &QCheckBox::clicked, this, [this](bool checked) { m_form.setPlaySound(checked); });
    // Deleting the files first leaves nothing to update, so ticking one
    // clears the other.
    connect(chkDelExistFiles, &QCheckBox::toggled, this, [this](bool checked) {
        if (checked)
            chkUpdateExisting->setChecked(false);
    });
    connect(chkUpdateExisting, &QCheckBox::toggled, this, [this](bool checked) {
        if (checked)
            chkDelExistFiles->setChecked(false);
    });
}

void frmOptions::buildSourcesPage()
{
    // What every service's download shares.
    fraAllSources = group(fraSources, "fraAllSources", QStringLiteral("All Sources:"));
    lblParallelRequests = label(fraAllSources, "lblParallelRequests", QStringLiteral("Parallel Requests:"));
    spnParallelRequests = new QSpinBox(fraAllSources);
    spnParallelRequests->setObjectName(QStringLiteral("spnParallelRequests"));
    spnParallelRequests->setRange(1, kMaxParallelRequests);
    spnParallelRequests->setToolTip(QStringLiteral("How many quote requests a download keeps under way at once."));
    lblParallelRequests->setBuddy(spnParallelRequests);
    lblParallelNote = label(fraAllSources, "lblParallelNote",
                            QStringLiteral("Default: 4. Tiingo: 1, its free quota is per hour."));
    lblParallelNote->setWordWrap(true);
    chkUpdateExisting = checkBox(fraAllSources, "chkUpdateExisting", QStringLiteral("Update Existing Files"));
    chkUpdateExisting->setToolTip(QStringLiteral("Clears \"Delete Existing Files\": the two exclude each other."));
    chkDelExistFiles->setToolTip(QStringLiteral("Before a run, moves the files it writes (and errorlog.txt) to the "
                                                "trash; other files stay. Clears \"Update Existing Files\": the two "
                                                "exclude each other."));
    auto* allLayout = new QGridLayout(fraAllSources);
    allLayout->addWidget(lblParallelRequests, 0, 0);
    allLayout->addWidget(spnParallelRequests, 0, 1);
    allLayout->addWidget(lblParallelNote, 0, 2);
    allLayout->addWidget(chkUpdateExisting, 1, 0, 1, 3);
    allLayout->setColumnStretch(2, 1);
    connect(spnParallelRequests, &QSpinBox::valueChanged, this, [this](int value) {
        // Only the user's own change is kept; the shown default is not.
        if (!m_showingParallel)
            m_parallelRequests = value;
    });

    buildKeyFields();
    showSourceProblems();
    auto* sourcesLayout = new QVBoxLayout(fraSources);
    sourcesLayout->addWidget(fraTiingo);
    sourcesLayout->addWidget(scrServiceKeys);
    sourcesLayout->addWidget(fraAllSources);
    sourcesLayout->addWidget(lblSourceProblems);
    sourcesLayout->addWidget(lstSourceProblems);
    sourcesLayout->addStretch();
    // Only looking at the page asks the secret store: a locked store may ask
    // for its password, which nobody should see for opening the dialog.
    fraSources->installEventFilter(this);
}

std::array<QRadioButton*, 6> frmOptions::formatButtons() const
{
    return {optASCII1, optASCII7, optDIF7, optHEADER5, optHEADER7, optYYMMDD7};
}

QString frmOptions::formatCode(const QRadioButton* button)
{
    return button ? button->property(kFormatCodeProperty).toString() : QString();
}

void frmOptions::setFormatsEnabled(bool enabled)
{
    for (QRadioButton* b : formatButtons())
        b->setEnabled(enabled);
}

QString frmOptions::checkedSource() const
{
    if (optOtherSource->isChecked() && cboOtherSource->currentIndex() >= 0)
        return cboOtherSource->currentData().toString();
    const QAbstractButton* checked = sourceGroup->checkedButton();
    const QuoteSourceEntry* entry = checked ? quoteSourceEntryForButton(checked->objectName()) : nullptr;
    return (entry ? *entry : quoteSourceEntry(QString())).storedText;
}

void frmOptions::showParallelRequests()
{
    m_showingParallel = true;
    spnParallelRequests->setValue(
        effectiveParallelRequests(m_parallelRequests, quoteSourceEntry(checkedSource()).defaultParallelRequests));
    m_showingParallel = false;
}

void frmOptions::loadFromForm()
{
    const OptionsValues& v = m_form.values();
    // Any text the registry does not know shows as Wall Street City.
    const QuoteSourceEntry& entry = quoteSourceEntry(v.source);
    QAbstractButton* source = optWallSt;
    for (QAbstractButton* b : sourceGroup->buttons()) {
        if (b->objectName() == entry.buttonName)
            source = b;
    }
    m_parallelRequests = v.parallelRequests;
    if (entry.buttonName.isEmpty())
        checkOtherSource(entry.storedText);
    else
        source->setChecked(true);
    setFormatsEnabled(entry.formatsApply);

    // A code outside the table selects nothing (the buttons start clear) and
    // is kept at close.
    for (QRadioButton* b : formatButtons()) {
        if (!v.formatCode.isEmpty() && v.formatCode == formatCode(b)) {
            b->setChecked(true);
            break;
        }
    }

    (v.activeAlerts ? optActiveAlerts : optPassiveLog)->setChecked(true);

    chkDelExistFiles->setChecked(v.deleteExistingFiles);
    chkDateStamp->setChecked(v.dateStamp);
    txtFileExt->setText(v.fileExtension);

    chkAutoRun->setChecked(v.autoRun);
    txtAppName->setEnabled(chkAutoRun->isChecked());
    txtAppName->setText(v.appName);

    chkConvertoMS->setChecked(v.convertToMS);
    chkPlaySound->setChecked(v.playSound);
    txtADT->setText(v.adt);
    showAdtCheck();

    showParallelRequests();
    chkUpdateExisting->setChecked(v.updateExistingFiles);

    TabStrip1->setCurrentIndex(0);
}

void frmOptions::applyToForm()
{
    OptionsValues& v = m_form.values();
    v.source = checkedSource();
    if (auto* selected = qobject_cast<QRadioButton*>(formatGroup->checkedButton()))
        v.formatCode = formatCode(selected);
    v.activeAlerts = optActiveAlerts->isChecked();
    v.deleteExistingFiles = chkDelExistFiles->isChecked();
    v.dateStamp = chkDateStamp->isChecked();
    v.fileExtension = txtFileExt->text();
    v.autoRun = chkAutoRun->isChecked();
    v.convertToMS = chkConvertoMS->isChecked();
    v.appName = txtAppName->text();
    // Only a time of day is stored, in the form the clock compares; a text
    // that is none leaves the stored time as it was.
    const AdtCheck adt = checkAutomaticDownloadTime(txtADT->text());
    if (adt.ok())
        v.adt = adt.time;
    v.parallelRequests = m_parallelRequests;
    v.updateExistingFiles = chkUpdateExisting->isChecked();
    // "Play Sound" went to the form and the record with each click.
}

void frmOptions::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    applyToForm();
    m_form.close();
    saveKeys();
}

void frmOptions::fitHeightToContents()
{
    // A dialog's minimum size leaves out what word-wrapped lines need at the
    // width they get: without this the Sources page's lines overlap.
    QLayout* top = layout();
    top->activate();
    const int needed = top->hasHeightForWidth() ? top->totalHeightForWidth(width()) : top->totalMinimumSize().height();
    if (needed > height())
        resize(width(), needed);
}

void frmOptions::showAdtCheck()
{
    const AdtCheck adt = checkAutomaticDownloadTime(txtADT->text());
    lblADTError->setText(adt.reason);
    lblADTError->setHidden(adt.ok());
}

void frmOptions::done(int result)
{
    if (!m_finished && isVisible() && !checkAutomaticDownloadTime(txtADT->text()).ok()) {
        // Closing would drop what the user typed without a word: show why it
        // is refused, where it can be mended or cleared.
        showAdtCheck();
        TabStrip1->setCurrentWidget(Frame1[1]);
        txtADT->setFocus();
        txtADT->selectAll();
        return;
    }
    finish();
    QDialog::done(result);
}

bool frmOptions::event(QEvent* event)
{
    const bool handled = QDialog::event(event);
    // A changed line (the key's storage, the time's reason) reaches the
    // dialog as a layout request once the layouts below have taken it.
    if (event->type() == QEvent::LayoutRequest)
        fitHeightToContents();
    return handled;
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == fraSources && event->type() == QEvent::Show)
        startKeyReads();
    return QDialog::eventFilter(watched, event);
}

} // namespace kestrion
