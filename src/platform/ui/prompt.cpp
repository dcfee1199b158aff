#include "platform/ui/prompt.h"

#include <QPointer>
#include <QTimer>

#include <utility>

namespace kestrion {

namespace {

const char* const kPromptMark = "kestrionPrompt";

Prompt::ShownHook& shownHook()
{
    static Prompt::ShownHook hook;
    return hook;
}

// Once the box is up, from the event loop: a test's answer then arrives as
// a user's would, never inside the call that opened the box.
void announce(QMessageBox* box)
{
    QTimer::singleShot(0, box, [box] {
        if (shownHook() && box->isVisible())
            shownHook()(*box);
    });
}

Prompt::Button answerOf(const QMessageBox& box)
{
    return box.standardButton(box.clickedButton());
}

// Holds the callback so that a box deleted with its parent can drop it
// before QDialog's own destructor hides the box and reports it finished.
class PromptBox : public QMessageBox
{
public:
    using QMessageBox::QMessageBox;
    ~PromptBox() override { disconnect(finishedConnection); }

    QMetaObject::Connection finishedConnection;
};

QMessageBox* makeBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                     QMessageBox::StandardButtons buttons, Prompt::Button defaultButton)
{
    auto* box = new PromptBox(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(defaultButton);
    return box;
}

} // namespace

void Prompt::open(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                  QMessageBox::StandardButtons buttons, Button defaultButton, Answered answered)
{
    open(makeBox(parent, icon, title, text, buttons, defaultButton), std::move(answered));
}

void Prompt::open(QMessageBox* box, Answered answered)
{
    box->setProperty(kPromptMark, true);
    auto* guarded = dynamic_cast<PromptBox*>(box);
    const QMetaObject::Connection c
        = QObject::connect(box, &QDialog::finished, box, [box, answered = std::move(answered)]() mutable {
              // finished can come more than once (done() and then hide());
              // the answer is given the first time only.
              const Answered call = std::exchange(answered, Answered());
              box->deleteLater();
              if (call)
                  call(answerOf(*box));
          });
    if (guarded)
        guarded->finishedConnection = c;
    box->open();
    announce(box);
}

Prompt::Button Prompt::ask(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                           QMessageBox::StandardButtons buttons, Button defaultButton)
{
    // On the heap: the parent may delete the box while it waits.
    const QPointer<QMessageBox> box = makeBox(parent, icon, title, text, buttons, defaultButton);
    box->setProperty(kPromptMark, true);
    announce(box);
    box->exec();
    if (!box)
        return QMessageBox::NoButton;
    const Button answer = answerOf(*box);
    delete box.data();
    return answer;
}

Prompt::ShownHook Prompt::setShownHook(ShownHook hook)
{
    return std::exchange(shownHook(), std::move(hook));
}

bool Prompt::isPrompt(const QMessageBox& box)
{
    return box.property(kPromptMark).toBool();
}

} // namespace kestrion
