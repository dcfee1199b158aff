#pragma once

#include <QObject>

class QSocketNotifier;

namespace kestrion {

// Turns SIGTERM and SIGINT into a Qt signal delivered on the event loop (a
// signal handler may do almost nothing itself), so that `kill`, Ctrl+C in a
// terminal or the end of the session shut the program down the normal way.
// One instance at a time; destroying it restores the default handlers.
class ShutdownSignals : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

    // Installs the handlers; false when that was not possible (the default
    // actions then stay in force).
    bool install();
    bool isInstalled() const { return m_installed; }

Q_SIGNALS:
    void requested(int signalNumber);

private:
    void readPending();

    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};

} // namespace kestrion
