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

// Gives a window's menu shortcuts the keys its text and combo boxes claim for
// editing (Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z, Ctrl+A): in the old program those
// keys belonged to the menu wherever the focus was. A disabled command leaves
// its key to the box.
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
