// The one way Orvik works in the background: work that throws is reported, never the end
// of the program; a cancelled or replaced request hands nothing back; a loop shared by the
// pool's threads runs every part once, from a pool thread too (the caller does the work
// when no thread is free), and stops taking parts once its request is cancelled.
#include "task/CancelToken.h"
#include "task/TaskPool.h"
#include "task/TaskRunner.h"

#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <stdexcept>
#include <vector>

class TestTaskPool : public QObject
{
    Q_OBJECT

private slots:
    void runnerReportsAndDropsByGeneration();
    void forEachFromEveryThread();
};

void TestTaskPool::runnerReportsAndDropsByGeneration()
{
    TaskRunner runner;
    QSignalSpy finished(&runner, &TaskRunner::finished);

    // An exception in the work comes back as a failure, on this thread.
    QString failure;
    runner.start([](const TaskRunner::Request &) { throw std::runtime_error("disk on fire"); },
                 [&](const QString &why) { failure = why; });
    QVERIFY(runner.isBusy());
    QVERIFY(finished.wait());
    QCOMPARE(failure, QString("disk on fire"));
    QVERIFY(!runner.isBusy());

    // A request replaced before its result arrives hands nothing back; the newer one does.
    std::atomic<bool> release{false};
    QStringList delivered;
    runner.start([&](const TaskRunner::Request &request) {
        while (!release.load())
            QThread::msleep(1);
        request.deliver([&] { delivered << "first"; });
    });
    const quint64 first = runner.generation();
    runner.start([](const TaskRunner::Request &request) { request.deliver([] {}); });
    QVERIFY(runner.generation() > first);
    runner.start([&](const TaskRunner::Request &request) { request.deliver([&] { delivered << "third"; }); });
    release = true;
    QTRY_COMPARE(delivered, QStringList{"third"});
    QTest::qWait(50);
    QCOMPARE(delivered, QStringList{"third"});

    // Handed back before the request was replaced, but not yet taken in: dropped too.
    std::atomic<bool> posted{false};
    runner.start([&](const TaskRunner::Request &request) {
        request.deliver([&] { delivered << "stale"; });
        posted = true;
    });
    while (!posted.load())
        QThread::msleep(1); // no events processed meanwhile: the delivery waits in the queue
    runner.start([](const TaskRunner::Request &) {});
    QVERIFY(finished.wait());
    QCOMPARE(delivered, QStringList{"third"});

    // Cancelled: the work sees it, and nothing arrives.
    std::atomic<bool> sawCancel{false};
    std::atomic<bool> started{false};
    runner.start([&](const TaskRunner::Request &request) {
        started = true;
        while (!CancelToken::currentCancelled())
            QThread::msleep(1);
        sawCancel = request.isCancelled();
        request.deliver([&] { delivered << "cancelled"; });
    });
    QTRY_VERIFY(started.load());
    runner.cancel();
    QTRY_VERIFY(sawCancel.load());
    QTest::qWait(50);
    QCOMPARE(delivered, QStringList{"third"});

    // A runner destroyed while its work runs: the work ends by itself, nothing is called.
    {
        auto doomed = std::make_unique<TaskRunner>();
        std::atomic<bool> running{false};
        std::atomic<bool> go{false};
        std::atomic<bool> ended{false};
        doomed->start([&](const TaskRunner::Request &request) {
            running = true;
            while (!go.load())
                QThread::msleep(1);
            request.deliver([&] { delivered << "doomed"; });
            ended = true;
        });
        QTRY_VERIFY(running.load());
        doomed.reset();
        go = true;
        QTRY_VERIFY(ended.load());
    }
    QTest::qWait(50);
    QCOMPARE(delivered, QStringList{"third"});
}

void TestTaskPool::forEachFromEveryThread()
{
    TaskPool &pool = TaskPool::shared();
    QVERIFY(pool.threadCount() >= 1);

    // Every part once, whoever takes it; from inside pool work, on as many threads as the
    // pool has, a nested loop still runs whole (the caller does what no thread takes).
    const int outer = int(pool.threadCount()) * 2;
    std::vector<std::atomic<int>> counts(std::size_t(outer) * 100);
    std::atomic<int> outerDone{0};
    for (int o = 0; o < outer; ++o) {
        pool.post([&, o] {
            pool.forEach(100, 0, [&](std::size_t i) { ++counts[std::size_t(o) * 100 + i]; });
            ++outerDone;
        });
    }
    QTRY_COMPARE(outerDone.load(), outer);
    for (const std::atomic<int> &count : counts)
        QCOMPARE(count.load(), 1);

    // Cancelled while it runs: the parts not yet taken are not taken.
    CancelToken token;
    std::atomic<int> taken{0};
    {
        const CancelScope scope(token);
        pool.forEach(1000, 0, [&](std::size_t) {
            if (++taken == 10)
                token.cancel();
        });
    }
    QVERIFY(taken.load() >= 10);
    QVERIFY(taken.load() < 1000);

    // A part that throws stops the loop; the exception reaches the caller.
    bool caught = false;
    try {
        pool.forEach(100, 0, [](std::size_t i) {
            if (i == 3)
                throw std::runtime_error("part 3");
        });
    } catch (const std::runtime_error &e) {
        caught = QString::fromLatin1(e.what()) == QLatin1String("part 3");
    }
    QVERIFY(caught);
}

QTEST_GUILESS_MAIN(TestTaskPool)
#include "tst_taskpool.moc"
