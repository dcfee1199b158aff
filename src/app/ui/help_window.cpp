#include "app/ui/help_window.h"

#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace kestrion {

namespace {

const QString kDefaultTitle = QStringLiteral("Kestrion Help");

} // namespace

HelpWindow::HelpWindow(QWidget* owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(kDefaultTitle);
    txtContents = new QTextBrowser(this);
    txtContents->setObjectName(QStringLiteral("txtContents"));
    // Links to web pages belong in the desktop's browser; links between the
    // help pages stay here.
    txtContents->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(txtContents);
    resize(640, 520);
    connect(txtContents, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = txtContents->documentTitle();
        setWindowTitle(title.isEmpty() ? kDefaultTitle : title);
    });
}

bool HelpWindow::showDocument(const QString& path, QString* error)
{
    // The browser shows an empty page for a file it can't read: look first,
    // so the user hears why instead.
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QFileInfo::exists(path) ? f.errorString() : QStringLiteral("the file does not exist");
        return false;
    }
    f.close();
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    if (txtContents->source() == url)
        txtContents->reload();
    else
        txtContents->setSource(url);
    txtContents->verticalScrollBar()->setValue(0);
    return true;
}

} // namespace kestrion
