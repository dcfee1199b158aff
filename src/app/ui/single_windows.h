#pragma once

#include "options/options_form.h"
#include "platform/program_launcher.h"

#include <QObject>
#include <QPointer>

class QWidget;

namespace kestrion {

class HelpWindow;
class dlgLaunchApp;
class frmOptions;
struct Settings;

// The windows the main window has at most one of, and the options form. The
// main window owns this; it holds each window only while that exists: the
// options dialog and the launch prompt delete themselves when closed, the
// chart browser has no owner and deletes itself when closed, the help window
// belongs to the main window and is shown again rather than made anew.
class SingleWindows : public QObject
{
    Q_OBJECT
public:
    SingleWindows(QWidget* mainWindow, Settings& settings);
    ~SingleWindows() override;

    // --- options ------------------------------------------------------------

    // The options values; reading them loads them from the record.
    OptionsForm& options() { return m_options; }
    // The options dialog while it is open, or null.
    frmOptions* optionsDialog() const;
    // View > Options: shows the dialog modally over the main window and
    // returns once it is closed, its values copied into the record. While it
    // is open it is only brought forward.
    void showOptions();
    // A loaded form holds the record as it was at its load. When the record
    // changed since (the dialog's close, the launch prompt, a run's command
    // line), the form loads it afresh, so an old copy cannot put old values
    // back at the close; otherwise nothing is read again. Not while the
    // dialog is open.
    void reloadHiddenOptions();
    // The close step of whatever holds the options: the open dialog (which
    // then closes), else the loaded form. Shutdown runs it.
    void closeOptions();

    // --- application launch ---------------------------------------------------

    // What starts programs for Launch Application and its prompt; an empty one
    // puts ProgramLauncher::start back.
    void setProgramStarter(ProgramStarter start);
    // File > Launch Application: starts "App Name", or asks for its path in a
    // modeless prompt; while one is open it is brought forward instead.
    void launchApplication();
    // The open launch prompt, or null.
    dlgLaunchApp* launchPrompt() const;

    // --- chart browser --------------------------------------------------------

    // Analyze Stock: the first call opens the chart of the ticker; while that
    // window is open later calls only bring it forward (its chart stays).
    // Null when the desktop's web browser shows the chart instead, or when
    // the browser cannot start (then error says why).
    QWidget* showChartBrowser(const QString& ticker, const QString& chartHost, QString* error = nullptr);
    // The open chart browser, or null.
    QWidget* chartBrowser() const;
    // Closes it (shutdown): it has no owner that would end it.
    void closeChartBrowser();

    // --- help -------------------------------------------------------------------

    // Help > Contents: shows the document from its start in the help window.
    // False with the reason when the file cannot be read.
    bool showHelp(const QString& path, QString* error);
    // The help window once Help > Contents made it, or null.
    HelpWindow* helpWindow() const;

private:
    QWidget* m_mainWindow;
    Settings& m_settings;
    OptionsForm m_options;
    ProgramStarter m_start;
    QPointer<frmOptions> m_optionsDialog;
    QPointer<dlgLaunchApp> m_launchPrompt;
    QPointer<QWidget> m_browser;
    QPointer<HelpWindow> m_help;
};

} // namespace kestrion
