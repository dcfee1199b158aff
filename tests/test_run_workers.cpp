// The download run's workers, the files they stage and the memory they keep:
// results come back on the run's thread, whatever is dropped takes its files
// with it, and freed buffers stay for reuse until released.
#include "download/run_workers.h"
#include "platform/memory_reuse.h"
#include "platform/staged_file.h"

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cstdlib>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace kestrion;

class TestRunWorkers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void resultsComeBackOnTheOwnersThread();
    void dropWaitsAndRemovesStagedFiles();
    void stagedFileCommitsOrLeavesNothing();
    void freedBuffersStayUntilReleased();
};

void TestRunWorkers::resultsComeBackOnTheOwnersThread()
{
    RunWorkers workers;
    workers.setThreads(3);
    QList<int> seen;
    for (int i = 0; i < 6; ++i) {
        workers.start([&seen, i, owner = QThread::currentThread()]() -> RunWorkers::Then {
            const bool elsewhere = QThread::currentThread() != owner;
            return [&seen, i, elsewhere, owner] {
                QVERIFY(elsewhere);
                QCOMPARE(QThread::currentThread(), owner);
                seen << i;
            };
        });
    }
    QTRY_COMPARE(seen.size(), 6);
    std::sort(seen.begin(), seen.end());
    QCOMPARE(seen, (QList<int>{0, 1, 2, 3, 4, 5}));
}

void TestRunWorkers::dropWaitsAndRemovesStagedFiles()
{
    // Work still running when the run ends, and work done but not yet
    // handed back: after drop() neither is called and no file is left.
    QTemporaryDir dir;
    RunWorkers workers;
    workers.setThreads(2);
    QSemaphore started;
    bool called = false;
    for (int i = 0; i < 2; ++i) {
        workers.start([&, i]() -> RunWorkers::Then {
            started.release();
            if (i == 1)
                QThread::msleep(100); // still writing when drop() comes
            auto file = std::shared_ptr<StagedFile>(
                StagedFile::write(dir.filePath(QStringLiteral("T%1").arg(i)), "Date\n", nullptr));
            return [&called, file] { called = true; };
        });
    }
    started.acquire(2);
    workers.drop();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCoreApplication::processEvents();
    QVERIFY(!called);
}

void TestRunWorkers::stagedFileCommitsOrLeavesNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("MSFT"));
    QString error;
    QVERIFY(!StagedFile::write(dir.filePath(QStringLiteral("missing/MSFT")), "x", &error));
    QVERIFY(!error.isEmpty());

    auto staged = StagedFile::write(path, "new\n", &error);
    QVERIFY(staged);
    QVERIFY(!QFile::exists(path)); // nothing under the name before the rename
    QVERIFY(staged->commit(path));
    staged.reset(); // committed: dropping it must not remove the file
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("new\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"MSFT"});
}

void TestRunWorkers::freedBuffersStayUntilReleased()
{
#if !defined(__GLIBC__)
    QSKIP("only the GNU C library is tuned");
#else
    keepFreedBuffersForReuse();
    // A file-sized block comes from the heap, not from a mapping of its own
    // that freeing it would hand back to the system.
    const auto mappedBlocks = mallinfo2().hblks;
    std::vector<void*> blocks(32);
    for (void*& block : blocks)
        block = std::malloc(1024 * 1024);
    QVERIFY(std::all_of(blocks.cbegin(), blocks.cend(), [](void* b) { return b != nullptr; }));
    const auto mappedWithBlocks = mallinfo2().hblks;
    const auto heapWithBlocks = mallinfo2().arena;
    for (void* block : blocks)
        std::free(block);
    QCOMPARE(mappedWithBlocks, mappedBlocks);
    if (mallinfo2().arena < heapWithBlocks)
        QFAIL("freed blocks went back to the system before they were released");
    releaseFreedBuffers();
    if (heapWithBlocks >= 32 * 1024 * 1024) // not under a checker's own allocator
        QVERIFY(mallinfo2().arena < heapWithBlocks);
#endif
}

QTEST_GUILESS_MAIN(TestRunWorkers)
#include "test_run_workers.moc"
