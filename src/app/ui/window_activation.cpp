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
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType()
        || static_cast<QWidget*>(watched)->window() != &m_window)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    Qt::KeyboardModifiers modifiers = key->modifiers();
    modifiers.setFlag(Qt::KeypadModifier, false);
    const QKeySequence keys(QKeyCombination(modifiers, Qt::Key(key->key())));
    if (isEditingKey(keys) && isTextField(static_cast<QWidget*>(watched)))
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
