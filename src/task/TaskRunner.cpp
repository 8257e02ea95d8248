#include "task/TaskRunner.h"

#include "task/TaskPool.h"

#include <QMetaObject>

#include <exception>
#include <mutex>

// Shared by the runner and every request it started: the way to its thread, closed when the
// runner goes.
struct TaskRunner::Request::Mailbox
{
    std::mutex mutex;
    TaskRunner *runner = nullptr;
};

void TaskRunner::Request::deliver(std::function<void()> f) const
{
    post([f = std::move(f)](TaskRunner *) { f(); });
}

void TaskRunner::Request::post(std::function<void(TaskRunner *)> f) const
{
    if (m_token.isCancelled())
        return;
    const std::lock_guard<std::mutex> lock(m_mailbox->mutex);
    TaskRunner *runner = m_mailbox->runner;
    if (!runner)
        return;
    // The call is queued on the runner itself: should the runner be destroyed before it
    // runs, Qt drops it with the runner's events.
    QMetaObject::invokeMethod(
        runner,
        [runner, generation = m_generation, f = std::move(f)] {
            if (runner->m_generation == generation)
                f(runner);
        },
        Qt::QueuedConnection);
}

TaskRunner::TaskRunner(QObject *parent) : QObject(parent), m_mailbox(std::make_shared<Request::Mailbox>())
{
    m_mailbox->runner = this;
}

TaskRunner::~TaskRunner()
{
    m_token.cancel();
    const std::lock_guard<std::mutex> lock(m_mailbox->mutex);
    m_mailbox->runner = nullptr;
}

void TaskRunner::start(std::function<void(const Request &)> work, std::function<void(const QString &)> failed)
{
    cancel();
    Request request;
    request.m_mailbox = m_mailbox;
    request.m_generation = m_generation;
    request.m_token = m_token;
    m_busy = true;
    TaskPool::shared().post(
        [request, work = std::move(work), failed = std::move(failed)] {
            QString failure;
            try {
                work(request);
            } catch (const TaskCancelled &) {
                return; // nobody waits for a cancelled request
            } catch (const std::exception &e) {
                failure = QString::fromLocal8Bit(e.what());
            } catch (...) {
                failure = QStringLiteral("unexpected error");
            }
            request.post([failure, failed](TaskRunner *runner) { runner->ended(failure, failed); });
        },
        m_token);
}

void TaskRunner::ended(const QString &failure, const std::function<void(const QString &)> &failed)
{
    m_busy = false;
    if (!failure.isNull() && failed)
        failed(failure);
    emit finished();
}

void TaskRunner::cancel()
{
    m_token.cancel();
    m_token = CancelToken();
    ++m_generation;
    m_busy = false;
}
