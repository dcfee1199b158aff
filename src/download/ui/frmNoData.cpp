#include "download/ui/frmNoData.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace kestrion {

namespace {

// The answer is remembered on the window the prompt comes up over (the main
// window, which lives for the whole run), so that a later prompt closed
// without an answer repeats it.
const char* const kEarlierAnswer = "kestrionNoDataStop";

} // namespace

frmNoData::frmNoData(bool earlierStop, QWidget* parent)
    : QDialog(parent)
    , m_stop(earlierStop)
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
        m_stop = false;
        accept();
    });
    connect(cmdNo, &QPushButton::clicked, this, [this] {
        m_stop = true;
        accept();
    });
}

void frmNoData::openAsk(QWidget* parent, std::function<void(bool stop)> done)
{
    const QPointer<QWidget> keeper = parent ? parent->window() : nullptr;
    auto* prompt = new frmNoData(keeper && keeper->property(kEarlierAnswer).toBool(), parent);
    connect(prompt, &QDialog::finished, prompt, [prompt, keeper, done = std::move(done)]() mutable {
        prompt->deleteLater();
        const bool stop = prompt->stopAnswer();
        if (keeper)
            keeper->setProperty(kEarlierAnswer, stop);
        if (const auto call = std::exchange(done, nullptr))
            call(stop);
    });
    prompt->open();
}

} // namespace kestrion
