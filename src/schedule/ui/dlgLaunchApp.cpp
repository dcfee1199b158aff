#include "schedule/ui/dlgLaunchApp.h"

#include "core/app_state.h"
#include "options/ui/frmOptions.h"
#include "schedule/app_launch.h"
#include "schedule/ui/path_prompt.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace kestrion {

namespace {

QPointer<dlgLaunchApp>& currentPrompt()
{
    static QPointer<dlgLaunchApp> prompt;
    return prompt;
}

} // namespace

dlgLaunchApp::dlgLaunchApp(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgLaunchApp"));
    setWindowTitle(QStringLiteral("Launch Application"));
    setModal(false);

    // The backslashes name menu places (View, Options, Miscellaneous tab).
    const PathPromptWidgets w = buildPathPrompt(
        this,
        QStringLiteral("Application not found.  Please check Launch Application path and filename specified in "
                       "View\\Options\\Miscellaneous Tab."),
        QStringLiteral("txtPath"));
    Label1 = w.message;
    Label2 = w.pathLabel;
    txtPath = w.path;
    OKButton = w.ok;
    CancelButton = w.cancel;

    connect(OKButton, &QPushButton::clicked, this, &dlgLaunchApp::OKButton_Click);
    connect(this, &QDialog::finished, this, [this] {
        // OK, Cancel, Esc and the close box all end here: the prompt is gone
        // and the next launch gets a fresh one with an empty path box.
        if (currentPrompt() == this)
            currentPrompt().clear();
        deleteLater();
    });
}

dlgLaunchApp::~dlgLaunchApp()
{
    if (currentPrompt() == this)
        currentPrompt().clear();
}

void dlgLaunchApp::OKButton_Click()
{
    const QString path = txtPath->text();
    // A path that does not start is still kept: the user asked for it, and
    // the next Launch Application asks again.
    acceptApplicationPath(appState().settings, path);
    // The options dialog copies its box into "App Name" when it closes; it
    // must hold the new path or it would put the old one back.
    optionsDialog(parentWidget()).txtAppName->setText(path);
    accept();
}

dlgLaunchApp* dlgLaunchApp::showPrompt(QWidget* mainWindow)
{
    QPointer<dlgLaunchApp>& prompt = currentPrompt();
    if (!prompt)
        prompt = new dlgLaunchApp(mainWindow);
    prompt->show();
    prompt->raise();
    prompt->activateWindow();
    return prompt;
}

dlgLaunchApp* dlgLaunchApp::openPrompt()
{
    return currentPrompt();
}

void launchApplication(QWidget* mainWindow)
{
    if (startConfiguredApplication(appState().settings))
        return;
    dlgLaunchApp::showPrompt(mainWindow);
}

} // namespace kestrion
