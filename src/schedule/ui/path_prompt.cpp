#include "schedule/ui/path_prompt.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kestrion {

PathPromptWidgets buildPathPrompt(QDialog* dialog, const QString& message, const QString& pathName)
{
    PathPromptWidgets w;
    w.message = new QLabel(message, dialog);
    w.message->setObjectName(QStringLiteral("Label1"));
    w.message->setWordWrap(true);
    w.pathLabel = new QLabel(QStringLiteral("Path:"), dialog);
    w.pathLabel->setObjectName(QStringLiteral("Label2"));
    w.path = new QLineEdit(dialog);
    w.path->setObjectName(pathName);
    w.pathLabel->setBuddy(w.path);
    w.ok = new QPushButton(QStringLiteral("OK"), dialog);
    w.ok->setObjectName(QStringLiteral("OKButton"));
    w.ok->setDefault(true);
    w.cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
    w.cancel->setObjectName(QStringLiteral("CancelButton"));

    auto* layout = new QGridLayout(dialog);
    layout->addWidget(w.message, 0, 0, 1, 2);
    layout->addWidget(w.pathLabel, 1, 0);
    layout->addWidget(w.path, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(w.ok);
    buttons->addWidget(w.cancel);
    layout->addLayout(buttons, 2, 0, 1, 2);
    dialog->setMinimumWidth(420);

    QObject::connect(w.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    return w;
}

} // namespace kestrion
