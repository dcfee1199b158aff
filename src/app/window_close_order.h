#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QWidget;

namespace kestrion {

// Closes the program's other windows in the order the old program unloaded
// its forms: newest first. Watches the whole application, from its
// construction on, for windows made after the main window.
class WindowCloseOrder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WindowCloseOrder)
public:
    explicit WindowCloseOrder(QWidget& mainWindow);
    ~WindowCloseOrder() override;

    // Closes every window made after the main window, newest first (hidden
    // ones too: their close may copy values into the settings record), then
    // the visible windows that became windows only after they were made.
    // False as soon as one refuses (it asked the user, who said no): the
    // program keeps running rather than lose what that window holds.
    bool closeOthers();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget& m_main;
    // Oldest first.
    QList<QPointer<QWidget>> m_later;
};

} // namespace kestrion
