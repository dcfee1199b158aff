#include "tools/ui/frmChart.h"

#include "tools/ui/chart_view.h"
#include "platform/ui/prompt.h"
#include "tools/ui/frmView.h"
#include "formats/series_reader.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QtConcurrent/QtConcurrentRun>

namespace kestrion {

namespace {

const QString kMessageTitle = QStringLiteral("Kestrion");

QString defaultSaveChooser(QWidget* parent, const QString& suggested)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Chart as PNG"), suggested,
                                        QStringLiteral("PNG Image (*.png)"));
}

QString defaultOpenChooser(QWidget* parent, const QString& start)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Chart File"), start, QStringLiteral("All Files (*)"));
}

} // namespace

frmChart::frmChart(QWidget* parent)
    : QMainWindow(parent)
    , m_chooseSaveFile(defaultSaveChooser)
    , m_chooseOpenFile(defaultOpenChooser)
    , m_choosePrinter(choosePrinter)
{
    setObjectName(QStringLiteral("frmChart"));
    setWindowTitle(QStringLiteral("Chart"));
    setAttribute(Qt::WA_DeleteOnClose);

    m_view = new ChartView(this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lstSecurities"));
    m_list->hide();
    m_splitter = new QSplitter(this);
    m_splitter->addWidget(m_list);
    m_splitter->addWidget(m_view);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);

    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("lblReadout"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    statusBar()->addWidget(m_readout, 1);
    statusBar()->addPermanentWidget(m_status);

    buildActions();
    connect(m_view, &ChartView::readoutChanged, m_readout, &QLabel::setText);
    connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row != m_shownRow && row != m_pendingRow)
            chartEntry(row);
    });
    connect(&m_watcher, &QFutureWatcher<SeriesLoad>::finished, this, &frmChart::readFinished);
    m_view->setPlaceholder(QStringLiteral("No chart"));
    resize(1000, 640);
}

frmChart::~frmChart()
{
    // The worker keeps its own reference to the source; its result is dropped.
    m_watcher.disconnect(this);
}

void frmChart::buildActions()
{
    auto action = [this](const QString& text, const char* name, const QKeySequence& keys = {}) {
        auto* a = new QAction(text, this);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(keys);
        return a;
    };
    QAction* open = action(QStringLiteral("&Open..."), "actOpen", QKeySequence::Open);
    QAction* save = action(QStringLiteral("&Save as PNG..."), "actSavePng", QKeySequence::Save);
    QAction* printAction = action(QStringLiteral("&Print..."), "actPrint", QKeySequence::Print);
    QAction* close = action(QStringLiteral("&Close"), "actClose", QKeySequence::Close);
    connect(open, &QAction::triggered, this, &frmChart::openFile);
    connect(save, &QAction::triggered, this, &frmChart::saveAsPng);
    connect(printAction, &QAction::triggered, this, &frmChart::print);
    connect(close, &QAction::triggered, this, &QWidget::close);

    QAction* zoomIn = action(QStringLiteral("Zoom &In (+)"), "actZoomIn");
    QAction* zoomOut = action(QStringLiteral("Zoom &Out (-)"), "actZoomOut");
    QAction* fit = action(QStringLiteral("&Fit All"), "actFitAll", QKeySequence(QStringLiteral("Ctrl+0")));
    auto viewCommand = [this](void (ChartModel::*f)()) {
        return [this, f] {
            (m_view->model().*f)();
            m_view->modelChanged();
            m_view->setFocus();
        };
    };
    connect(zoomIn, &QAction::triggered, this, viewCommand(&ChartModel::zoomIn));
    connect(zoomOut, &QAction::triggered, this, viewCommand(&ChartModel::zoomOut));
    connect(fit, &QAction::triggered, this, viewCommand(&ChartModel::fitAll));

    m_styles = new QActionGroup(this);
    m_candles = action(QStringLiteral("&Candlesticks"), "actCandles");
    m_bars = action(QStringLiteral("OHLC &Bars"), "actOhlcBars");
    m_line = action(QStringLiteral("Close &Line"), "actCloseLine");
    for (QAction* a : {m_candles, m_bars, m_line}) {
        a->setCheckable(true);
        m_styles->addAction(a);
        connect(a, &QAction::triggered, this, &frmChart::applyOptions);
    }
    m_candles->setChecked(true);
    zoomIn->setIconText(QStringLiteral("Zoom +"));
    zoomOut->setIconText(QStringLiteral("Zoom -"));
    fit->setIconText(QStringLiteral("Fit"));
    save->setIconText(QStringLiteral("Save"));
    printAction->setIconText(QStringLiteral("Print"));
    m_log = action(QStringLiteral("L&og Scale"), "actLogScale");
    m_adjusted = action(QStringLiteral("&Adjusted"), "actAdjusted");
    m_adjusted->setToolTip(QStringLiteral("Scale Open, High and Low by Adj Close / Close, so splits and dividends "
                                          "do not show as cliffs"));
    static const char* const names[3] = {"actSma20", "actSma50", "actSma200"};
    for (int i = 0; i < 3; ++i)
        m_averages[i] = action(QStringLiteral("SMA %1").arg(ChartModel::kAveragePeriods[size_t(i)]), names[i]);
    for (QAction* a : {m_log, m_adjusted, m_averages[0], m_averages[1], m_averages[2]}) {
        a->setCheckable(true);
        connect(a, &QAction::toggled, this, &frmChart::applyOptions);
    }

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addActions({open, save, printAction});
    file->addSeparator();
    file->addAction(close);
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->addActions({zoomIn, zoomOut, fit});
    view->addSeparator();
    view->addActions({m_candles, m_bars, m_line});
    view->addSeparator();
    view->addActions({m_log, m_adjusted});
    view->addSeparator();
    view->addActions({m_averages[0], m_averages[1], m_averages[2]});

    // The toolbar fits the window's default width: the three styles share
    // one button that names the style shown, and the commands carry short
    // names (the menus keep the long ones).
    QToolBar* bar = addToolBar(QStringLiteral("Chart"));
    bar->setObjectName(QStringLiteral("tbChart"));
    auto* styleMenu = new QMenu(QStringLiteral("Style"), this);
    styleMenu->addActions({m_candles, m_bars, m_line});
    auto* styleButton = new QToolButton(bar);
    styleButton->setObjectName(QStringLiteral("btnStyle"));
    styleButton->setMenu(styleMenu);
    styleButton->setPopupMode(QToolButton::InstantPopup);
    styleButton->setToolTip(QStringLiteral("Chart style"));
    const auto showStyle = [styleButton, this] {
        if (QAction* checked = m_styles->checkedAction())
            styleButton->setText(checked->iconText());
    };
    connect(m_styles, &QActionGroup::triggered, styleButton, showStyle);
    for (QAction* a : {m_candles, m_bars, m_line})
        connect(a, &QAction::toggled, styleButton, showStyle);
    showStyle();
    bar->addWidget(styleButton);
    bar->addSeparator();
    bar->addActions({m_log, m_adjusted});
    bar->addSeparator();
    bar->addActions({m_averages[0], m_averages[1], m_averages[2]});
    bar->addSeparator();
    bar->addActions({zoomIn, zoomOut, fit});
    bar->addSeparator();
    bar->addActions({save, printAction});
}

void frmChart::applyOptions()
{
    ChartModel& m = m_view->model();
    m.setStyle(m_bars->isChecked()       ? ChartStyle::OhlcBars
                   : m_line->isChecked() ? ChartStyle::CloseLine
                                         : ChartStyle::Candles);
    m.setLogScale(m_log->isChecked());
    m.setAdjusted(m_adjusted->isChecked());
    for (int i = 0; i < 3; ++i)
        m.setAverageShown(i, m_averages[i]->isChecked());
    // Log scale rescales: the plot's price range is recomputed for it.
    m.setSize(m.size());
    m_adjusted->setEnabled(m.series().hasAdjClose);
    m_view->modelChanged();
    updateTitle();
}

void frmChart::updateTitle()
{
    const QString title = m_view->model().title();
    setWindowTitle(title.isEmpty() ? QStringLiteral("Chart") : QStringLiteral("Chart - ") + title);
}

bool frmChart::openPath(const QString& path, const QString& symbol)
{
    QString error;
    std::unique_ptr<PriceSource> source = openPriceSource(path, &error);
    if (!source) {
        showFailure(QStringLiteral("could not be charted"), path, error);
        return false;
    }
    m_lastDir = QFileInfo(path).absolutePath();
    m_source = std::move(source);
    m_shownRow = -1;
    m_pendingRow = -1;
    const bool folder = m_source->isFolder();
    m_list->blockSignals(true);
    m_list->clear();
    if (folder)
        m_list->addItems(m_source->entries());
    m_list->blockSignals(false);
    m_list->setVisible(folder);
    const QStringList warnings = m_source->warnings();
    m_status->setText(warnings.isEmpty() ? QString()
                                         : QStringLiteral("The folder's index has %1 problem(s)").arg(warnings.size()));
    m_status->setToolTip(warnings.join(QLatin1Char('\n')));
    chartEntry(symbol.isEmpty() ? 0 : m_source->find(symbol));
    return true;
}

void frmChart::chartEntry(int row)
{
    if (!m_source || row < 0 || row >= m_source->entries().size())
        return;
    m_pendingRow = row;
    if (m_source->isFolder()) {
        m_list->blockSignals(true);
        m_list->setCurrentRow(row);
        m_list->blockSignals(false);
    }
    m_loadingName = m_source->isFolder() ? m_source->path() + QLatin1Char('/') + m_source->entries().at(row)
                                         : m_source->path();
    if (m_view->model().isEmpty())
        m_view->setPlaceholder(QStringLiteral("Reading %1 ...").arg(QDir::toNativeSeparators(m_loadingName)));
    m_status->setText(QStringLiteral("Reading..."));
    // A newer request replaces one still running; the older result is dropped.
    std::shared_ptr<const PriceSource> source = m_source;
    m_watcher.setFuture(QtConcurrent::run([source, row] { return source->load(row); }));
}

void frmChart::readFinished()
{
    if (m_watcher.isCanceled() || !m_watcher.future().isValid() || m_watcher.future().resultCount() == 0)
        return;
    SeriesLoad result = m_watcher.result();
    const int row = m_pendingRow;
    m_pendingRow = -1;
    m_status->clear();
    if (!result.ok()) {
        if (m_view->model().isEmpty())
            m_view->setPlaceholder(QStringLiteral("No chart"));
        if (m_source && m_source->isFolder()) {
            m_list->blockSignals(true);
            m_list->setCurrentRow(m_shownRow);
            m_list->blockSignals(false);
        }
        showFailure(QStringLiteral("could not be charted"), m_loadingName, result.error);
        Q_EMIT loadFinished(false);
        return;
    }
    m_shownRow = row;
    m_view->setPlaceholder(QString());
    m_view->model().setSeries(std::move(result.series));
    applyOptions();
    m_view->setFocus();
    Q_EMIT loadFinished(true);
}

void frmChart::showFailure(const QString& what, const QString& path, const QString& reason)
{
    Prompt::ask(this, QMessageBox::Warning, kMessageTitle,
                QStringLiteral("%1 %2:\n\n%3").arg(QDir::toNativeSeparators(path), what, reason));
}

void frmChart::openFile()
{
    const QString path = m_chooseOpenFile(this, m_lastDir);
    if (!path.isEmpty())
        openPath(path);
}

void frmChart::saveAsPng()
{
    const ChartModel& m = m_view->model();
    if (m.isEmpty())
        return;
    const QString suggested = QDir(m_lastDir).filePath(m.series().symbol + QStringLiteral(".png"));
    QString path = m_chooseSaveFile(this, suggested);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    // Written beside the target and renamed: a failed save leaves any old
    // picture as it was.
    QSaveFile file(path);
    QImageWriter writer(&file, "png");
    const QImage image = renderChart(m);
    if (!file.open(QIODevice::WriteOnly) || !writer.write(image) || !file.commit()) {
        const QString reason = writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString();
        showFailure(QStringLiteral("could not be saved; any file already there is unchanged"), path, reason);
    }
}

void frmChart::print()
{
    const ChartModel& shown = m_view->model();
    if (shown.isEmpty())
        return;
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!m_choosePrinter(this, printer, false))
        return;
    QPainter p;
    if (!p.begin(&printer)) {
        showFailure(QStringLiteral("could not be printed"),
                    printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName(),
                    QStringLiteral("the printer could not be started"));
        return;
    }
    // Laid out at screen size and scaled onto the page, so text and lines
    // keep the proportions seen in the window.
    ChartModel page = shown;
    const QRectF target = printer.pageLayout().paintRectPixels(printer.resolution());
    const double width = 1400;
    page.setSize(QSizeF(width, width * target.height() / target.width()));
    p.scale(target.width() / width, target.width() / width);
    paintChart(p, page);
    p.end();
}

frmChart* openChartWindow(QWidget* owner, const QString& path, const QString& symbol)
{
    auto* w = new frmChart(owner);
    w->setWindowFlag(Qt::Window);
    if (!w->openPath(path, symbol)) {
        w->deleteLater();
        return nullptr;
    }
    // The window shows at once with "Reading ..."; when the first read fails
    // there is nothing to look at, so it goes after the message.
    QObject::connect(
        w, &frmChart::loadFinished, w,
        [w](bool ok) {
            if (!ok && w->chartView()->model().isEmpty() && !w->securityList()->isVisible())
                w->close();
        },
        Qt::SingleShotConnection);
    w->show();
    return w;
}

void chartFile(QWidget* owner, const QString& downloadDir)
{
    const QString path = QFileDialog::getOpenFileName(owner, QStringLiteral("Chart File"), downloadDir,
                                                      QStringLiteral("All Files (*)"));
    if (!path.isEmpty())
        openChartWindow(owner, path);
}

void chartTicker(QWidget* owner, const QString& dataFile, const QString& downloadDir, const QString& symbol)
{
    const ChartTarget target = chartTargetFor(dataFile, downloadDir, symbol);
    if (target.path.isEmpty()) {
        Prompt::ask(owner, QMessageBox::Information, kMessageTitle,
                    QStringLiteral("There is no data file for %1 to chart. Looked for:\n\n%2")
                        .arg(symbol, QDir::toNativeSeparators(target.lookedFor)));
        return;
    }
    openChartWindow(owner, target.path, target.symbol);
}

} // namespace kestrion
