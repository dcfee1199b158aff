#include "app/ui/window_activation.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace kestrion {

namespace {

// A box the user types text into.
bool isTextField(const QWidget* w)
{
    if (const auto* combo = qobject_cast<const QComboBox*>(w))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w)
        || qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w);
}

// Select all, copy, paste, cut and undo: a text field's own.
bool isEditingKey(const QKeySequence& keys)
{
    for (const char* k : {"Ctrl+A", "Ctrl+C", "Ctrl+V", "Ctrl+X", "Ctrl+Z"}) {
        if (keys == QKeySequence(QLatin1String(k)))
            return true;
    }
    return false;
}

} // namespace

ActivationWatcher::ActivationWatcher(QWidget& window)
    : m_window(window)
{
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &ActivationWatcher::onFocusWindowChanged);
}

ActivationWatcher::~ActivationWatcher() = default;

void ActivationWatcher::onFocusWindowChanged(QWindow* focusWindow)
{
    // Focus passes straight from one of our windows to another; coming back
    // from another program, the application had no focus window in between.
    const bool fromOurWindow = m_previousFocusWasOurs;
    m_previousFocusWasOurs = focusWindow != nullptr;
    if (!focusWindow || focusWindow != m_window.windowHandle())
        return;
    if (fromOurWindow || !m_activatedOnce) {
        m_activatedOnce = true;
        Q_EMIT activated();
    }
}

MenuKeysFirst::MenuKeysFirst(QWidget& window, QList<QAction*> commands)
    : m_window(window)
    , m_commands(std::move(commands))
{
    qApp->installEventFilter(this);
}

MenuKeysFirst::~MenuKeysFirst()
{
    qApp->removeEventFilter(this);
}

bool MenuKeysFirst::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    // Found by address among the window's own widgets before anything is
    // asked of it: the browser's view sends these events from objects it is
    // already tearing down.
    QWidget* widget = nullptr;
    if (watched == &m_window)
        widget = &m_window;
    else {
        const QList<QWidget*> own = m_window.findChildren<QWidget*>();
        const auto it = std::find(own.cbegin(), own.cend(), watched);
        widget = it == own.cend() ? nullptr : *it;
    }
    if (!widget || widget->window() != &m_window)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    Qt::KeyboardModifiers modifiers = key->modifiers();
    modifiers.setFlag(Qt::KeypadModifier, false);
    const QKeySequence keys(QKeyCombination(modifiers, Qt::Key(key->key())));
    if (isEditingKey(keys) && isTextField(widget))
        return QObject::eventFilter(watched, event);
    for (const QAction* a : std::as_const(m_commands)) {
        if (a->isEnabled() && a->shortcut() == keys) {
            // Ignored, the override is refused: the key goes on to the shortcut.
            event->ignore();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kestrion
