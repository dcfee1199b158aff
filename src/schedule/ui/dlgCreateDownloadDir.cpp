#include "schedule/ui/dlgCreateDownloadDir.h"

#include "core/app_state.h"
#include "schedule/ui/path_prompt.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>

namespace kestrion {

dlgCreateDownloadDir::dlgCreateDownloadDir(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgCreateDownloadDir"));
    setWindowTitle(QStringLiteral("Create Download Directory"));
    setModal(true);
    const PathPromptWidgets w = buildPathPrompt(
        this,
        QStringLiteral("Download directory does not exist.  Please enter the path in the text box below and click Ok "
                       "to save the new directory, or click Cancel to exit this dialog."),
        QStringLiteral("txtDir"));
    Label1 = w.message;
    Label2 = w.pathLabel;
    txtDir = w.path;
    OKButton = w.ok;
    CancelButton = w.cancel;

    connect(OKButton, &QPushButton::clicked, this, [this] {
        const QString path = txtDir->text();
        if (!path.isEmpty())
            QDir().mkdir(path); // one level; a failure shows again at the next run
        appState().createdDirectory = path;
        accept();
    });
}

QString dlgCreateDownloadDir::ask(QWidget* parent)
{
    dlgCreateDownloadDir prompt(parent);
    prompt.exec();
    return appState().createdDirectory;
}

} // namespace kestrion
