#include "app/ui/window_download_view.h"

#include "app/ui/list_editor.h"
#include "app/ui/main_controls.h"
#include "app/ui/status_panels.h"
#include "download/ui/frmNoData.h"
#include "download/ui/run_prompts.h"
#include "lists/ticker_list.h"
#include "schedule/ui/dlgCreateDownloadDir.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QToolBar>

namespace kestrion {

WindowDownloadView::WindowDownloadView(QWidget& window, const MainControls& controls, ListEditor& list,
                                       StatusPanels& panels)
    : m_window(window)
    , m_c(controls)
    , m_list(list)
    , m_panels(panels)
{
}

ShownRequest WindowDownloadView::shown() const
{
    ShownRequest shown;
    // Tested in the order Daily, Weekly, Monthly; the last one set wins.
    if (m_c.dailyButton->isChecked())
        shown.period = HistoryPeriod::Daily;
    if (m_c.weeklyButton->isChecked())
        shown.period = HistoryPeriod::Weekly;
    if (m_c.monthlyButton->isChecked())
        shown.period = HistoryPeriod::Monthly;
    shown.start = {m_c.startMonthBox->currentText(), m_c.startDayBox->currentText(), m_c.startYearBox->currentText()};
    shown.end = {m_c.endMonthBox->currentText(), m_c.endDayBox->currentText(), m_c.endYearBox->currentText()};
    shown.downloadDir = m_c.downloadDirEdit->text();
    shown.singleStock = m_c.singleStockBox->isChecked();
    shown.currentRow = m_list.currentRow();
    shown.list = &m_list.list();
    return shown;
}

void WindowDownloadView::runStarting()
{
    m_failures = 0;
    m_lastFailure.clear();
}

void WindowDownloadView::setInputsEnabled(bool enabled)
{
    for (QWidget* c : std::initializer_list<QWidget*>{
             m_c.tickerEdit, m_c.downloadDirEdit, m_c.getDataButton, m_c.addButton, m_c.deleteButton, m_c.browseButton,
             m_c.startMonthBox, m_c.startDayBox, m_c.startYearBox, m_c.endMonthBox, m_c.endDayBox, m_c.endYearBox,
             m_c.tickerGrid, m_c.toolBar})
        c->setEnabled(enabled);
    // What changes the open list or the settings the run reads waits for
    // its end, so the window always shows what is being downloaded.
    for (QAction* a :
         {m_c.openListAction, m_c.createListAction, m_c.importListAction, m_c.optionsAction, m_c.launchAction})
        a->setEnabled(enabled);
}

void WindowDownloadView::setStatusText(const QString& text)
{
    m_panels.setStatusText(text);
}

void WindowDownloadView::setStatusToolTip(const QString& text)
{
    m_panels.setStatusToolTip(text);
}

void WindowDownloadView::setProgressRange(int minimum, int maximum)
{
    // An empty list must not turn the bar into a busy indicator.
    if (maximum > minimum)
        m_c.progressBar->setRange(minimum, maximum);
}

void WindowDownloadView::setProgressValue(int value)
{
    m_c.progressBar->setValue(value);
}

void WindowDownloadView::progressToMinimum()
{
    m_c.progressBar->setValue(m_c.progressBar->minimum());
}

void WindowDownloadView::progressToMaximum()
{
    m_c.progressBar->setValue(m_c.progressBar->maximum());
}

void WindowDownloadView::refreshList()
{
    m_list.refresh();
}

void WindowDownloadView::askStop(std::function<void(bool stop)> answered)
{
    frmNoData::openAsk(&m_window, std::move(answered));
}

void WindowDownloadView::askCreateDirectory(const QString& typedPath,
                                            std::function<void(const QString& created)> answered)
{
    dlgCreateDownloadDir::openAsk(&m_window, typedPath, [this, answered = std::move(answered)](const QString& created) {
        m_c.downloadDirEdit->setText(created);
        answered(created);
    });
}

void WindowDownloadView::showCompletionMessage(std::function<void()> closed)
{
    openCompletionMessage(&m_window, m_failures, m_lastFailure, std::move(closed));
}

namespace {
QString failureTip(const QString& failure)
{
    return QStringLiteral("Download Status\nLast failure: ") + failure;
}
} // namespace

void WindowDownloadView::tickerFailed(const QString& symbol, FailureReason reason, const QString& detail)
{
    ++m_failures;
    m_lastFailure = symbol + QStringLiteral(": ") + reasonText(reason);
    if (!detail.isEmpty())
        m_lastFailure += QStringLiteral(" (") + detail + QLatin1Char(')');
    setStatusToolTip(failureTip(m_lastFailure));
}

void WindowDownloadView::fallbacksFailed(const QString&, const QStringList& failures)
{
    m_lastFailure += QStringLiteral("; ") + failures.join(QStringLiteral("; "));
    setStatusToolTip(failureTip(m_lastFailure));
}

void WindowDownloadView::sourceStopped(const QString& text)
{
    m_lastFailure = text;
    setStatusToolTip(failureTip(text));
}

} // namespace kestrion
