#include "app/window_close_order.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace kestrion {

namespace {

bool isClosableWindow(const QWidget* w)
{
    if (!w || !w->isWindow())
        return false;
    switch (w->windowType()) {
    case Qt::Popup:
    case Qt::ToolTip:
    case Qt::Desktop:
        return false;
    default:
        return true;
    }
}

} // namespace

WindowCloseOrder::WindowCloseOrder(QWidget& mainWindow)
    : m_main(mainWindow)
{
    qApp->installEventFilter(this);
}

WindowCloseOrder::~WindowCloseOrder()
{
    qApp->removeEventFilter(this);
}

bool WindowCloseOrder::closeOthers()
{
    QList<QPointer<QWidget>> windows;
    for (auto it = m_later.crbegin(); it != m_later.crend(); ++it) {
        if (*it && *it != &m_main && isClosableWindow(*it))
            windows << *it;
    }
    const QWidgetList topLevel = QApplication::topLevelWidgets();
    for (QWidget* w : topLevel) {
        if (w != &m_main && w->isVisible() && isClosableWindow(w) && !windows.contains(w))
            windows << w;
    }
    for (const QPointer<QWidget>& w : windows) {
        if (w && !w->close())
            return false;
    }
    return true;
}

bool WindowCloseOrder::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Create && watched->isWidgetType()) {
        auto* w = static_cast<QWidget*>(watched);
        if (w != &m_main && isClosableWindow(w)) {
            m_later.removeAll(nullptr);
            m_later << w;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kestrion
