#include "schedule/ui/dlgLaunchApp.h"

#include "schedule/app_launch.h"
#include "schedule/ui/path_prompt.h"

#include <QLineEdit>
#include <QPushButton>

#include <utility>

namespace kestrion {

dlgLaunchApp::dlgLaunchApp(Settings& settings, ProgramStarter start, QWidget* parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_start(std::move(start))
{
    setObjectName(QStringLiteral("dlgLaunchApp"));
    setWindowTitle(QStringLiteral("Launch Application"));
    setModal(false);

    const PathPromptWidgets w = buildPathPrompt(
        this,
        QStringLiteral("Application not found.  Please check Launch Application path and filename specified in "
                       "View > Options > Miscellaneous Settings."),
        QStringLiteral("txtPath"));
    Label1 = w.message;
    Label2 = w.pathLabel;
    txtPath = w.path;
    OKButton = w.ok;
    CancelButton = w.cancel;

    connect(OKButton, &QPushButton::clicked, this, &dlgLaunchApp::OKButton_Click);
    // OK, Cancel, Esc and the close box all end here: the prompt is gone and
    // the next launch gets a fresh one with an empty path box.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
}

void dlgLaunchApp::OKButton_Click()
{
    const QString path = txtPath->text();
    // A path that does not start is still kept: the user asked for it, and
    // the next Launch Application asks again.
    acceptApplicationPath(m_settings, path, m_start);
    Q_EMIT applicationPathAccepted(path);
    accept();
}

} // namespace kestrion
