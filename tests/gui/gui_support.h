#pragma once

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

class QWidget;

namespace kestrion {
class frmMain;
}

namespace kestrion::test {

// Answers every message box that comes up while it lives (OK, or rejected
// when it has no OK button) and keeps what each one showed.
class MessageWatcher
{
public:
    enum class Find {
        ActiveModal, // the active modal widget, when it is a message box
        TopLevel,    // every visible top-level message box
    };

    explicit MessageWatcher(Find find = Find::ActiveModal, int intervalMs = 20);

    QStringList texts;
    QStringList titles;
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButtons> buttons;

private:
    void answer(QMessageBox* box);

    QTimer m_timer;
};

// The symbols the window's grid shows, top to bottom.
QStringList gridSymbols(const frmMain& w);

// Shows the window and waits until it is the active one.
void showAndActivate(QWidget& w);

bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace kestrion::test
