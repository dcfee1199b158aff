// The parts of the options dialog that follow the source registry: the
// "Other service" choice among the described services, and the Sources
// page's key fields and unusable description files.

#include "options/ui/api_key_field.h"
#include "options/ui/frmOptions.h"

#include "sources/source_registry.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QScrollBar>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace kestrion {

namespace {

QString originText(const QuoteSourceEntry& e)
{
    const QString file = QDir::toNativeSeparators(e.descriptionFile);
    switch (e.origin) {
    case QuoteSourceEntry::Origin::ShippedFile:
        return QStringLiteral("Described in %1, shipped with Kestrion.").arg(file);
    case QuoteSourceEntry::Origin::UserFile:
        return QStringLiteral("Described in your file %1.").arg(file);
    case QuoteSourceEntry::Origin::BuiltIn:
        break;
    }
    return QString();
}

bool isDescribed(const QuoteSourceEntry& e)
{
    // The built-in services have their own buttons.
    return e.buttonName.isEmpty();
}

} // namespace

void frmOptions::buildOtherSource()
{
    optOtherSource = new QRadioButton(QStringLiteral("Other service"), fraFrom);
    optOtherSource->setObjectName(QStringLiteral("optOtherSource"));
    cboOtherSource = new QComboBox(fraFrom);
    cboOtherSource->setObjectName(QStringLiteral("cboOtherSource"));
    cboOtherSource->setAccessibleName(QStringLiteral("Other service"));
    for (const QuoteSourceEntry& e : quoteSourceEntries()) {
        if (!isDescribed(e))
            continue;
        cboOtherSource->addItem(e.storedText, e.storedText);
        cboOtherSource->setItemData(cboOtherSource->count() - 1, originText(e), Qt::ToolTipRole);
    }
    const bool any = cboOtherSource->count() > 0;
    optOtherSource->setEnabled(any);
    cboOtherSource->setEnabled(any);
    optOtherSource->setToolTip(any ? QStringLiteral("A service described in a file; a key it needs is entered on the "
                                                    "Sources page.")
                                   : QStringLiteral("No service description could be used: the Sources page says "
                                                    "why."));
    auto* row = new QHBoxLayout;
    row->addWidget(optOtherSource);
    row->addWidget(cboOtherSource, 1);
    static_cast<QVBoxLayout*>(fraFrom->layout())->addLayout(row);

    // Picking a service in the list chooses it.
    connect(cboOtherSource, &QComboBox::activated, optOtherSource, [this] { optOtherSource->setChecked(true); });
    connect(cboOtherSource, &QComboBox::currentIndexChanged, this, [this] {
        if (optOtherSource->isChecked())
            showCheckedSource();
    });
}

void frmOptions::checkOtherSource(const QString& storedText)
{
    const int index = cboOtherSource->findData(storedText);
    if (index < 0)
        return;
    cboOtherSource->setCurrentIndex(index);
    optOtherSource->setChecked(true);
}

void frmOptions::showCheckedSource()
{
    setFormatsEnabled(quoteSourceEntry(checkedSource()).formatsApply);
    showParallelRequests();
}

void frmOptions::buildKeyFields()
{
    auto* described = new QWidget;
    described->setObjectName(QStringLiteral("fraServiceKeys"));
    auto* describedLayout = new QVBoxLayout(described);
    describedLayout->setContentsMargins(0, 0, 0, 0);
    fraTiingo = nullptr;
    for (const QuoteSourceEntry& e : quoteSourceEntries()) {
        if (!e.takesApiKey)
            continue;
        const QString title = e.storedText + QLatin1Char(':');
        ApiKeyField* field = nullptr;
        if (e.storedText == kSourceTiingo) {
            field = new ApiKeyField(
                title, e.keyPlace,
                QStringLiteral("Get a free key at <a href=\"https://www.tiingo.com\">https://www.tiingo.com</a> "
                               "(sign up, then Account &gt; API &gt; Token)."),
                {QStringLiteral("fraTiingo"), QStringLiteral("lblTiingoKey"), QStringLiteral("txtTiingoKey"),
                 QStringLiteral("chkShowKey"), QStringLiteral("lblKeyHelp"), QStringLiteral("lblKeyStorage")},
                fraSources);
            fraTiingo = field;
            lblTiingoKey = field->keyLabel;
            txtTiingoKey = field->keyEdit;
            chkShowKey = field->showKey;
            lblKeyHelp = field->help;
            lblKeyStorage = field->storage;
        } else {
            field = new ApiKeyField(title, e.keyPlace, ApiKeyField::helpHtmlFromText(e.keyHelp),
                                    ApiKeyFieldNames::forService(e.cliName), described);
            if (!e.needsApiKey)
                field->keyLabel->setText(QStringLiteral("API Key (optional):"));
            field->setToolTip(originText(e));
            describedLayout->addWidget(field);
        }
        keyFields.push_back(field);
    }
    Q_ASSERT(fraTiingo);
    describedLayout->addStretch();

    // Many services would make the page taller than a screen: their fields
    // scroll, and the dialog shows a few of them at once.
    scrServiceKeys = new QScrollArea(fraSources);
    scrServiceKeys->setObjectName(QStringLiteral("scrServiceKeys"));
    scrServiceKeys->setWidgetResizable(true);
    scrServiceKeys->setFrameShape(QFrame::NoFrame);
    scrServiceKeys->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrServiceKeys->setWidget(described);
    const bool anyDescribed = keyFields.size() > 1;
    scrServiceKeys->setHidden(!anyDescribed);
    if (anyDescribed)
        scrServiceKeys->setMinimumHeight(
            std::min(described->sizeHint().height(), 2 * fraTiingo->sizeHint().height() + 8));
}

void frmOptions::showSourceProblems()
{
    const QStringList& problems = describedSourceProblems();
    lblSourceProblems = new QLabel(
        QStringLiteral("These service descriptions were left out, so their services are not offered:"), fraSources);
    lblSourceProblems->setObjectName(QStringLiteral("lblSourceProblems"));
    lblSourceProblems->setWordWrap(true);
    lstSourceProblems = new QListWidget(fraSources);
    lstSourceProblems->setObjectName(QStringLiteral("lstSourceProblems"));
    lstSourceProblems->setAccessibleName(QStringLiteral("Service descriptions left out"));
    lstSourceProblems->setSelectionMode(QAbstractItemView::NoSelection);
    for (const QString& problem : problems) {
        auto* item = new QListWidgetItem(problem, lstSourceProblems);
        item->setToolTip(problem); // a long path runs past the list's width
    }
    const int rows = std::min<int>(problems.size(), 4);
    // Room for the rows and the scroll bar a long path brings.
    lstSourceProblems->setFixedHeight(lstSourceProblems->sizeHintForRow(0) * std::max(rows, 1)
                                      + lstSourceProblems->horizontalScrollBar()->sizeHint().height()
                                      + 2 * lstSourceProblems->frameWidth() + 4);
    lblSourceProblems->setHidden(problems.isEmpty());
    lstSourceProblems->setHidden(problems.isEmpty());
}

void frmOptions::startKeyReads()
{
    for (ApiKeyField* field : keyFields)
        field->startRead();
}

void frmOptions::saveKeys()
{
    for (ApiKeyField* field : keyFields)
        field->save(parentWidget());
}

} // namespace kestrion
