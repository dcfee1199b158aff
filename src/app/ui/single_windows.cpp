#include "app/ui/single_windows.h"

#include "app/ui/help_window.h"
#include "options/ui/frmOptions.h"
#include "schedule/app_launch.h"
#include "schedule/ui/dlgLaunchApp.h"
#include "sources/source_registry.h"
#include "tools/ui/chart_browser.h"

#include <utility>

namespace kestrion {

namespace {

// Brings a window that is already there to the user.
void bringForward(QWidget* window)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

SingleWindows::SingleWindows(QWidget* mainWindow, Settings& settings)
    : m_mainWindow(mainWindow)
    , m_settings(settings)
    , m_options(settings, [](const QString& storedText) { return quoteSourceEntry(storedText).storedText; })
    , m_start(&ProgramLauncher::start)
{
}

SingleWindows::~SingleWindows()
{
    // The main window's children go with it; the browser would stay.
    closeChartBrowser();
}

frmOptions* SingleWindows::optionsDialog() const
{
    return m_optionsDialog;
}

void SingleWindows::showOptions()
{
    if (m_optionsDialog) {
        m_optionsDialog->raise();
        m_optionsDialog->activateWindow();
        return;
    }
    QPointer<frmOptions> dialog = new frmOptions(m_options, m_mainWindow);
    m_optionsDialog = dialog;
    dialog->exec();
    m_optionsDialog.clear();
    if (!dialog)
        return;
    // exec() can also end without done() (the dialog hidden by someone
    // else); closing always applies.
    dialog->finish();
    dialog->deleteLater();
}

void SingleWindows::reloadHiddenOptions()
{
    if (!m_optionsDialog)
        m_options.reloadIfRecordChanged();
}

void SingleWindows::closeOptions()
{
    // The session can end while the dialog is up: it applies as any close
    // does, and closing it ends its modal show.
    if (m_optionsDialog && !m_optionsDialog->isFinished()) {
        // Finished first: a time being typed must not hold up the end.
        m_optionsDialog->finish();
        m_optionsDialog->done(QDialog::Rejected);
    }
    m_options.close();
}

void SingleWindows::setProgramStarter(ProgramStarter start)
{
    m_start = start ? std::move(start) : ProgramStarter(&ProgramLauncher::start);
}

void SingleWindows::launchApplication()
{
    if (startConfiguredApplication(m_settings, m_start))
        return;
    if (!m_launchPrompt) {
        m_launchPrompt = new dlgLaunchApp(m_settings, m_start, m_mainWindow);
        // The form copies its path into "App Name" at its close: it must hold
        // the new path or it would put the old one back.
        connect(m_launchPrompt, &dlgLaunchApp::applicationPathAccepted, this,
                [this](const QString& path) { m_options.setAppName(path); });
    }
    m_launchPrompt->show();
    m_launchPrompt->raise();
    m_launchPrompt->activateWindow();
}

dlgLaunchApp* SingleWindows::launchPrompt() const
{
    return m_launchPrompt;
}

QWidget* SingleWindows::showChartBrowser(const QString& ticker, const QString& chartHost, QString* error)
{
    if (m_browser) {
        bringForward(m_browser);
        return m_browser;
    }
    m_browser = openChartBrowser(ticker, chartHost, error);
    return m_browser;
}

QWidget* SingleWindows::chartBrowser() const
{
    return m_browser;
}

void SingleWindows::closeChartBrowser()
{
    const QPointer<QWidget> browser = std::exchange(m_browser, nullptr);
    if (browser)
        browser->close(); // it deletes itself
}

bool SingleWindows::showHelp(const QString& path, QString* error)
{
    if (!m_help)
        m_help = new HelpWindow(m_mainWindow);
    if (!m_help->showDocument(path, error))
        return false;
    bringForward(m_help);
    return true;
}

HelpWindow* SingleWindows::helpWindow() const
{
    return m_help;
}

} // namespace kestrion
