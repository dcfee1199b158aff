#pragma once

#include <QMessageBox>

#include <functional>

class QWidget;

namespace kestrion {

// The program's message boxes. open() shows a box over its window and
// returns at once: the answer comes through a callback, so no event loop
// runs inside the caller. ask() is for the few places that need the answer
// before they go on; it waits in the box's own loop as QMessageBox::exec()
// does.
class Prompt
{
public:
    using Button = QMessageBox::StandardButton;
    using Answered = std::function<void(Button)>;

    // Shows the box window-modal over parent. answered runs once, with the
    // button pressed (NoButton when it was closed without one), after the box
    // is gone from the screen; the box deletes itself afterwards. When the
    // parent is deleted while the box is up, the box goes with it and
    // answered never runs.
    static void open(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                     QMessageBox::StandardButtons buttons, Button defaultButton = QMessageBox::NoButton,
                     Answered answered = {});
    // The same for a box the caller made (for an informative text, say); the
    // box is the prompt's from now on.
    static void open(QMessageBox* box, Answered answered = {});

    // Shows the box application-modal and returns the button pressed.
    static Button ask(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                      QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                      Button defaultButton = QMessageBox::NoButton);

    // For tests: called with every prompt box once it is on the screen, from
    // the event loop, so that a test can read it and press a button. Empty
    // turns it off; the hook replaced is returned.
    using ShownHook = std::function<void(QMessageBox&)>;
    static ShownHook setShownHook(ShownHook hook);

    // Whether the box is one of these prompts.
    static bool isPrompt(const QMessageBox& box);
};

} // namespace kestrion
