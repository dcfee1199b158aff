#include "app/ui/window_download_view.h"

#include "app/ui/list_editor.h"
#include "app/ui/main_controls.h"
#include "app/ui/status_panels.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
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

RequestInputs WindowDownloadView::requestInputs() const
{
    return shownInputs(m_c);
}

QString WindowDownloadView::downloadDir() const
{
    return m_c.txtDownloadDir->text();
}

bool WindowDownloadView::singleStock() const
{
    return m_c.chkSingleStock->isChecked();
}

bool WindowDownloadView::listOpen() const
{
    return m_list.list().isOpen();
}

QString WindowDownloadView::listPath() const
{
    return m_list.list().path();
}

bool WindowDownloadView::readListSymbols(QStringList& symbols, QString* error) const
{
    return m_list.list().readSymbols(symbols, error);
}

int WindowDownloadView::currentListRow() const
{
    return m_list.currentRow();
}

void WindowDownloadView::setDownloadDir(const QString& dir)
{
    m_c.txtDownloadDir->setText(dir);
}

void WindowDownloadView::setInputsEnabled(bool enabled)
{
    for (QWidget* c :
         std::initializer_list<QWidget*>{m_c.txtTicker, m_c.txtDownloadDir, m_c.cmdGetUpdate, m_c.cmdAdd, m_c.cmdDelete,
                                         m_c.cmdBrowse, m_c.cbxStartMonth, m_c.cbxStartDay, m_c.cbxStartYear,
                                         m_c.cbxEndMonth, m_c.cbxEndDay, m_c.cbxEndYear, m_c.DBGrid1, m_c.tbToolBar})
        c->setEnabled(enabled);
    // What changes the open list or the settings the run reads waits for
    // its end, so the window always shows what is being downloaded.
    for (QAction* a : {m_c.mnuOpenList, m_c.mnuCreateNewList, m_c.mnuImportList, m_c.mnuViewOptions, m_c.mnuLaunch})
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
        m_c.ProgressBar1->setRange(minimum, maximum);
}

void WindowDownloadView::setProgressValue(int value)
{
    m_c.ProgressBar1->setValue(value);
}

void WindowDownloadView::progressToMinimum()
{
    m_c.ProgressBar1->setValue(m_c.ProgressBar1->minimum());
}

void WindowDownloadView::progressToMaximum()
{
    m_c.ProgressBar1->setValue(m_c.ProgressBar1->maximum());
}

void WindowDownloadView::refreshList()
{
    m_list.refresh();
}

QWidget* WindowDownloadView::promptParent()
{
    return &m_window;
}

} // namespace kestrion
