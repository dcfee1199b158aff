#include "tools/ui/frmBrowser.h"

#include "platform/browser_sandbox.h"
#include "platform/ui/prompt.h"
#include "tools/chart_symbol.h"
#include "tools/ui/chart_browser.h"
#include "tools/window_rules.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace kestrion {

namespace {

// Layout figures in twips, as the window was drawn.
constexpr int kDesignClientSize = 7335;
constexpr int kToolBarHeight = 450;
constexpr int kAddressPanelTop = 450;
constexpr int kAddressPanelHeight = 675;
constexpr int kAddressLabelLeft = 45;
constexpr int kAddressLabelTop = 0;
constexpr int kAddressLabelWidth = 780;
constexpr int kAddressLabelHeight = 255;
constexpr int kAddressBoxLeft = 50;
constexpr int kAddressBoxWidth = 5448;
constexpr int kFrameLeft = 72;
constexpr int kFrameTop = 1200;
constexpr int kFrameWidth = 7140;
constexpr int kFrameHeight = 588;
constexpr int kPeriodTop = 288;
constexpr int kPeriodHeight = 228;
constexpr int kPeriodLefts[] = {216, 1152, 2088, 2952, 3816, 4680, 5544, 6336};
constexpr int kBrowserLeft = 72;
constexpr int kBrowserTop = 1800;

constexpr int kTimerInterval = 5;
// A page asked for but not reported as loading after this long is taken as
// refused, so the title does not read "Working..." for ever.
constexpr qint64 kRequestGraceMs = 3000;

const QString kWorking = QStringLiteral("Working...");

int px(int twips)
{
    return twipsToPixels(twips);
}

} // namespace

frmBrowser::frmBrowser(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmBrowser"));
    setWindowTitle(QString());

    // Created first so it comes first in the tab order and has the focus.
    brwWebBrowser = new QWebEngineView(this);
    brwWebBrowser->setObjectName(QStringLiteral("brwWebBrowser"));
    brwWebBrowser->move(px(kBrowserLeft), px(kBrowserTop));

    buildToolBar();
    buildAddressPanel();
    buildPeriodFrame();

    timTimer = new QTimer(this);
    timTimer->setObjectName(QStringLiteral("timTimer"));
    timTimer->setInterval(kTimerInterval);
    connect(timTimer, &QTimer::timeout, this, &frmBrowser::timerTick);

    connect(brwWebBrowser, &QWebEngineView::loadStarted, this, &frmBrowser::onLoadStarted);
    connect(brwWebBrowser, &QWebEngineView::loadFinished, this, &frmBrowser::onLoadFinished);
    connect(brwWebBrowser, &QWebEngineView::titleChanged, this, [this] {
        // A page that renames itself later; while loading the indicator
        // owns the title.
        if (!isBusy() && !timTimer->isActive())
            setWindowTitle(locationName());
    });
    // A crashed page never reports the end of its load; do not stay busy.
    // The window stays, and says what happened to the page.
    connect(brwWebBrowser->page(), &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                m_loading = false;
                m_requested.invalidate();
                if (status == QWebEnginePage::NormalTerminationStatus)
                    return;
                timTimer->stop();
                setWindowTitle(locationName());
                showPageEnded(status == QWebEnginePage::KilledTerminationStatus    ? "was ended by the system"
                              : status == QWebEnginePage::CrashedTerminationStatus ? "crashed"
                                                                                   : "could not run",
                              exitCode);
            });

    resize(px(kDesignClientSize), px(kDesignClientSize));
}

frmBrowser::~frmBrowser() = default;

void frmBrowser::buildToolBar()
{
    tbToolBar = new QToolBar(this);
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setIconSize(QSize(20, 20));

    const struct
    {
        const char* key;
        const char* iconName;
        QStyle::StandardPixmap fallback;
    } buttons[] = {
        {"Back", "go-previous", QStyle::SP_ArrowBack},    {"Forward", "go-next", QStyle::SP_ArrowForward},
        {"Stop", "process-stop", QStyle::SP_BrowserStop}, {"Refresh", "view-refresh", QStyle::SP_BrowserReload},
        {"Home", "go-home", QStyle::SP_DirHomeIcon},      {"Search", "edit-find", QStyle::SP_FileDialogContentsView},
    };
    for (const auto& b : buttons) {
        const QString key = QString::fromLatin1(b.key);
        QAction* action = tbToolBar->addAction(
            QIcon::fromTheme(QString::fromLatin1(b.iconName), style()->standardIcon(b.fallback)), key);
        action->setObjectName(QStringLiteral("tb") + key);
        action->setData(key);
        action->setToolTip(key);
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this,
            [this](QAction* action) { buttonClick(action->data().toString()); });
}

void frmBrowser::buildAddressPanel()
{
    picAddress = new QWidget(this);
    picAddress->setObjectName(QStringLiteral("picAddress"));

    lblAddress = new QLabel(QStringLiteral("&Address:"), picAddress);
    lblAddress->setObjectName(QStringLiteral("lblAddress"));
    lblAddress->setGeometry(px(kAddressLabelLeft), px(kAddressLabelTop), px(kAddressLabelWidth),
                            px(kAddressLabelHeight));

    cboAddress = new QComboBox(picAddress);
    cboAddress->setObjectName(QStringLiteral("cboAddress"));
    cboAddress->setEditable(true);
    // The list is kept by the history rules alone: Enter must not add the
    // typed text, and no inline completion may change what was typed.
    cboAddress->setInsertPolicy(QComboBox::NoInsert);
    cboAddress->setCompleter(nullptr);
    cboAddress->resize(px(kAddressBoxWidth), cboAddress->sizeHint().height());
    cboAddress->lineEdit()->installEventFilter(this);
    lblAddress->setBuddy(cboAddress);
    connect(cboAddress, &QComboBox::activated, this, [this](int) { addressSelected(); });
}

void frmBrowser::buildPeriodFrame()
{
    Frame1 = new QGroupBox(QStringLiteral("Time Period"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(px(kFrameLeft), px(kFrameTop), px(kFrameWidth), px(kFrameHeight));

    QRadioButton** named[] = {&opt1Day, &opt5Day, &opt1Mo, &opt3Mo, &opt6Mo, &opt1Yr, &opt2Yr, &opt5Yr};
    const auto& periods = chartPeriods();
    for (std::size_t i = 0; i < periods.size(); ++i) {
        auto* button = new QRadioButton(QString::fromLatin1(periods[i].caption), Frame1);
        button->setObjectName(QString::fromLatin1(periods[i].objectName));
        const int left = kPeriodLefts[i];
        const int right = i + 1 < periods.size() ? kPeriodLefts[i + 1] : kFrameWidth;
        const int height = qMax(px(kPeriodHeight), button->sizeHint().height());
        const int top = qMin(px(kPeriodTop), px(kFrameHeight) - height);
        button->setGeometry(px(left), top, px(right - left) - 2, height);
        const ChartPeriod period = periods[i].period;
        connect(button, &QRadioButton::clicked, this, [this, period] { periodClicked(period); });
        *named[i] = button;
        m_periodButtons[i] = button;
    }
}

void frmBrowser::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    applyResizeRule();
}

void frmBrowser::applyResizeRule()
{
    // The toolbar and the address panel are aligned to the top edge.
    tbToolBar->setGeometry(0, 0, width(), px(kToolBarHeight));
    picAddress->setGeometry(0, px(kAddressPanelTop), width(), px(kAddressPanelHeight));

    const BrowserSizes sizes = browserSizes(width(), height());
    if (sizes.addressWidth)
        cboAddress->resize(*sizes.addressWidth, cboAddress->height());
    if (sizes.browserWidth)
        brwWebBrowser->resize(*sizes.browserWidth, brwWebBrowser->height());
    if (sizes.browserHeight)
        brwWebBrowser->resize(brwWebBrowser->width(), *sizes.browserHeight);
}

void frmBrowser::loadChart(const QString& ticker, const QString& chartHost)
{
    show();
    tbToolBar->update();
    applyResizeRule();

    m_chartHost = chartHost;
    m_chart = chartSymbolFor(ticker);
    StartingAddress = chartAddress(m_chartHost, m_chart.symbol, kDefaultChartPeriod, m_chart.country);

    cboAddress->move(px(kAddressBoxLeft), px(kAddressLabelTop + kAddressLabelHeight + 15));

    cboAddress->setEditText(StartingAddress);
    m_history.add(StartingAddress);
    cboAddress->addItem(StartingAddress);

    timTimer->start();
    navigate(StartingAddress);
    brwWebBrowser->setFocus();
}

bool frmBrowser::isBusy() const
{
    return m_loading || (m_requested.isValid() && m_requested.elapsed() < kRequestGraceMs);
}

void frmBrowser::markRequested()
{
    m_requested.start();
}

void frmBrowser::navigate(const QString& address)
{
    const QUrl url = QUrl::fromUserInput(address.trimmed());
    if (!url.isValid() || url.isEmpty())
        return;
    markRequested();
    brwWebBrowser->load(url);
}

QString frmBrowser::locationName() const
{
    return brwWebBrowser->title();
}

void frmBrowser::timerTick()
{
    if (isBusy()) {
        setWindowTitle(kWorking);
        return;
    }
    timTimer->stop();
    setWindowTitle(locationName());
}

void frmBrowser::onLoadStarted()
{
    m_loading = true;
    m_requested.invalidate();
}

void frmBrowser::onLoadFinished(bool /*ok*/)
{
    m_loading = false;
    m_requested.invalidate();
    // A failed page is shown as the web view's error page; it still counts
    // as a visited address, as a typed address should stay in the list.
    navigationComplete();
}

void frmBrowser::navigationComplete()
{
    setWindowTitle(locationName());
    const QString location = brwWebBrowser->url().toString();
    if (location.isEmpty())
        return;
    m_history.visited(location);

    bSuppressNavigate = true;
    cboAddress->clear();
    cboAddress->addItems(m_history.entries());
    cboAddress->setCurrentIndex(0);
    bSuppressNavigate = false;
}

void frmBrowser::addressSelected()
{
    if (bSuppressNavigate)
        return;
    timTimer->start();
    navigate(cboAddress->currentText());
}

bool frmBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == cboAddress->lineEdit() && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            addressSelected();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmBrowser::showPageEnded(const char* what, int exitCode)
{
    // Modal to the browser window only, and shown without waiting: the
    // engine's signal returns at once and the main window stays usable.
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Analyze Stock"),
                                QStringLiteral("The chart page stopped: the browser's page process %1 (exit code %2).\n\n"
                                               "Press Refresh to load it again.")
                                    .arg(QLatin1String(what))
                                    .arg(exitCode),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("pageEndedMessage"));
    Prompt::open(box);
}

void frmBrowser::periodClicked(ChartPeriod period)
{
    StartingAddress = chartAddress(m_chartHost, m_chart.symbol, period, m_chart.country);
    navigate(StartingAddress);
}

void frmBrowser::buttonClick(const QString& key)
{
    timTimer->start();
    QWebEngineHistory* history = brwWebBrowser->history();
    if (key == QLatin1String("Back")) {
        if (history->canGoBack()) {
            markRequested();
            brwWebBrowser->back();
        }
    } else if (key == QLatin1String("Forward")) {
        if (history->canGoForward()) {
            markRequested();
            brwWebBrowser->forward();
        }
    } else if (key == QLatin1String("Refresh")) {
        if (!brwWebBrowser->url().isEmpty()) {
            markRequested();
            brwWebBrowser->reload();
        }
    } else if (key == QLatin1String("Home")) {
        navigate(chartHomeAddress(m_chartHost));
    } else if (key == QLatin1String("Search")) {
        navigate(chartSearchAddress(m_chartHost));
    } else if (key == QLatin1String("Stop")) {
        timTimer->stop();
        m_requested.invalidate();
        brwWebBrowser->stop();
        setWindowTitle(locationName());
    }
}

QWidget* openChartBrowser(const QString& ticker, const QString& chartHost, QString* error)
{
    // The engine ends the program when it cannot find its helper program:
    // look first, and say so instead.
    const QString problem = browserEngineProblem();
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return nullptr;
    }
    auto* window = new frmBrowser;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->loadChart(ticker, chartHost);
    return window;
}

} // namespace kestrion
