#include "schedule/ui/dlgCreateDownloadDir.h"

#include "platform/folder_path.h"
#include "platform/ui/prompt.h"
#include "schedule/ui/path_prompt.h"

#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <utility>

namespace kestrion {

namespace {

// Remembered on the window the prompt comes up over (the main window, which
// lives for the whole run): a cancel puts the last created path back.
const char* const kEarlierPath = "kestrionCreatedDirectory";

} // namespace

dlgCreateDownloadDir::dlgCreateDownloadDir(const QString& earlierPath, QWidget* parent, const QString& typedPath)
    : QDialog(parent)
    , m_created(earlierPath)
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
    txtDir->setText(typedPath);

    connect(OKButton, &QPushButton::clicked, this, [this] {
        const QString path = txtDir->text();
        QString why;
        if (!makeFolderPath(path, &why)) {
            // The prompt stays, with the path, to be corrected or cancelled.
            Prompt::open(this, QMessageBox::Warning, windowTitle(),
                         QStringLiteral("The download directory could not be created: %1.").arg(why), QMessageBox::Ok,
                         QMessageBox::NoButton, [this](Prompt::Button) { txtDir->setFocus(); });
            return;
        }
        m_created = path;
        accept();
    });
}

void dlgCreateDownloadDir::openAsk(QWidget* parent, const QString& typedPath,
                                   std::function<void(const QString& created)> done)
{
    const QPointer<QWidget> keeper = parent ? parent->window() : nullptr;
    auto* prompt
        = new dlgCreateDownloadDir(keeper ? keeper->property(kEarlierPath).toString() : QString(), parent, typedPath);
    connect(prompt, &QDialog::finished, prompt, [prompt, keeper, done = std::move(done)]() mutable {
        prompt->deleteLater();
        const QString created = prompt->createdDirectory();
        if (keeper)
            keeper->setProperty(kEarlierPath, created);
        if (const auto call = std::exchange(done, nullptr))
            call(created);
    });
    prompt->open();
}

} // namespace kestrion
