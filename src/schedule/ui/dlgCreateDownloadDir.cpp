#include "schedule/ui/dlgCreateDownloadDir.h"

#include "app/app_state.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kestrion {

dlgCreateDownloadDir::dlgCreateDownloadDir(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("dlgCreateDownloadDir"));
    setWindowTitle(QStringLiteral("Create Download Directory"));
    setModal(true);
    Label1 = new QLabel(QStringLiteral("Download directory does not exist.  Please enter the path in the text box "
                                       "below and click Ok to save the new directory, or click Cancel to exit this "
                                       "dialog."),
                        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label2 = new QLabel(QStringLiteral("Path:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    txtDir = new QLineEdit(this);
    txtDir->setObjectName(QStringLiteral("txtDir"));
    Label2->setBuddy(txtDir);
    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(Label1, 0, 0, 1, 2);
    layout->addWidget(Label2, 1, 0);
    layout->addWidget(txtDir, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    layout->addLayout(buttons, 2, 0, 1, 2);
    setMinimumWidth(420);

    connect(OKButton, &QPushButton::clicked, this, [this] {
        const QString path = txtDir->text();
        if (!path.isEmpty())
            QDir().mkdir(path); // one level; a failure shows again at the next run
        appState().createdDirectory = path;
        accept();
    });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

QString dlgCreateDownloadDir::ask(QWidget* parent)
{
    dlgCreateDownloadDir prompt(parent);
    prompt.exec();
    return appState().createdDirectory;
}

} // namespace kestrion
