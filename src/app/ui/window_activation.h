#pragma once

#include <QList>
#include <QObject>

class QAction;
class QWidget;
class QWindow;

namespace kestrion {

// Tells when a window becomes the active one the way the old program's
// Activate event did: the first time, and whenever focus passes to it
// straight from another window of the program; not when the user comes back
// from another program.
class ActivationWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ActivationWatcher)
public:
    explicit ActivationWatcher(QWidget& window);
    ~ActivationWatcher() override;

Q_SIGNALS:
    void activated();

private:
    void onFocusWindowChanged(QWindow* focusWindow);

    QWidget& m_window;
    bool m_activatedOnce = false;
    bool m_previousFocusWasOurs = false;
};

// Gives a window's menu shortcuts the Ctrl keys its boxes would otherwise
// claim, except the editing keys (Ctrl+A, Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z)
// while a text field has the focus: those select, copy, paste, cut and undo
// there, and stay the menu's everywhere else. A disabled command leaves its
// key to the box.
class MenuKeysFirst final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MenuKeysFirst)
public:
    // Watches the whole application from now on, for the life of the object.
    MenuKeysFirst(QWidget& window, QList<QAction*> commands);
    ~MenuKeysFirst() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_window;
    QList<QAction*> m_commands;
};

} // namespace kestrion
