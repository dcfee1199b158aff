#pragma once

#include <QMutex>
#include <QObject>
#include <QThreadPool>

#include <deque>
#include <functional>

namespace kestrion {

// Work a download run does away from its own thread (reading a file to
// update, turning an answer into its table, writing and syncing it), so
// that thread stays free for requests, answers and the window. Each piece
// of work returns what to do with its result; that is called back on the
// run's thread, in the order the work finishes.
class RunWorkers : public QObject
{
    Q_OBJECT
public:
    using Then = std::function<void()>;

    explicit RunWorkers(QObject* parent = nullptr);
    ~RunWorkers() override;

    void setThreads(int threads);
    void start(std::function<Then()> work);
    // Waits for the work under way (a few file writes at most) and throws
    // away every result not yet called back, with whatever files it holds,
    // so nothing of the run is left once this returns.
    void drop();

private:
    void handBack();

    QThreadPool m_pool;
    QMutex m_mutex;
    std::deque<Then> m_done; // guarded by m_mutex
};

} // namespace kestrion
