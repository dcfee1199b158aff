#include "download/ui/frmNoData.h"

#include "core/app_state.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrion {

frmNoData::frmNoData(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmNoData"));
    setWindowTitle(QStringLiteral("No Data!"));
    setModal(true);
    Label1 = new QLabel(
        QStringLiteral("Could not get requested data.  There may be a connection problem...Do you wish to continue?"),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    cmdYes = new QPushButton(QStringLiteral("Yes"), this);
    cmdYes->setObjectName(QStringLiteral("cmdYes"));
    cmdNo = new QPushButton(QStringLiteral("No"), this);
    cmdNo->setObjectName(QStringLiteral("cmdNo"));
    cmdYes->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdYes);
    buttons->addWidget(cmdNo);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addLayout(buttons);
    setMinimumWidth(360);

    connect(cmdYes, &QPushButton::clicked, this, [this] {
        appState().stopAnswer = false;
        accept();
    });
    connect(cmdNo, &QPushButton::clicked, this, [this] {
        appState().stopAnswer = true;
        accept();
    });
}

bool frmNoData::ask(QWidget* parent)
{
    frmNoData prompt(parent);
    prompt.exec();
    return appState().stopAnswer;
}

} // namespace kestrion
