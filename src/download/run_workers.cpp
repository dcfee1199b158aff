#include "download/run_workers.h"

#include <QMutexLocker>

#include <utility>

namespace kestrion {

RunWorkers::RunWorkers(QObject* parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
}

RunWorkers::~RunWorkers()
{
    drop();
}

void RunWorkers::setThreads(int threads)
{
    m_pool.setMaxThreadCount(qMax(1, threads));
}

void RunWorkers::start(std::function<Then()> work)
{
    m_pool.start([this, work = std::move(work)] {
        Then then = work();
        {
            const QMutexLocker lock(&m_mutex);
            m_done.push_back(std::move(then));
        }
        QMetaObject::invokeMethod(this, &RunWorkers::handBack, Qt::QueuedConnection);
    });
}

void RunWorkers::handBack()
{
    // One at a time: a result's handling may open a prompt, and the results
    // that come meanwhile are handed back from its event loop.
    for (;;) {
        Then then;
        {
            const QMutexLocker lock(&m_mutex);
            if (m_done.empty())
                return;
            then = std::move(m_done.front());
            m_done.pop_front();
        }
        then();
    }
}

void RunWorkers::drop()
{
    m_pool.clear();
    m_pool.waitForDone();
    std::deque<Then> dropped;
    {
        const QMutexLocker lock(&m_mutex);
        dropped.swap(m_done);
    }
    // Destroyed here, outside the lock: their files are removed now.
}

} // namespace kestrion
