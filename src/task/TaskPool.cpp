#include "task/TaskPool.h"

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>

namespace {

unsigned coreCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

void logEscaped(const char *what)
{
    qWarning("Background work ended with an exception: %s", what);
}

} // namespace

TaskPool &TaskPool::shared()
{
    static TaskPool pool(coreCount());
    return pool;
}

TaskPool::TaskPool(unsigned threads)
{
    threads = std::max(threads, 1u);
    m_threads.reserve(threads);
    for (unsigned i = 0; i < threads; ++i) {
        try {
            m_threads.emplace_back([this] { run(); });
        } catch (const std::system_error &) {
            break; // fewer threads do the same work
        }
    }
}

TaskPool::~TaskPool()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void TaskPool::post(std::function<void()> work, CancelToken token)
{
    if (m_threads.empty()) {
        // No thread could be made: the work runs here rather than never.
        const CancelScope scope(token);
        work();
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping)
            return;
        m_queue.push_back(Job{std::move(work), std::move(token)});
    }
    m_wake.notify_one();
}

void TaskPool::run()
{
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const CancelScope scope(job.token);
        try {
            job.work();
        } catch (const std::exception &e) {
            logEscaped(e.what());
        } catch (const TaskCancelled &) {
            // The work noticed its cancellation deep down; nobody waits for its result.
        } catch (...) {
            logEscaped("unknown");
        }
    }
}

namespace {

// What the caller of forEach shares with its helpers. Helpers hold it by shared pointer:
// one that starts after the caller has returned finds it closed and leaves without touching
// the caller's body.
struct ForEachState
{
    std::size_t count = 0;
    const std::function<void(std::size_t)> *body = nullptr;
    CancelToken token;
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable idle;
    int active = 0;      // helpers inside takeAll
    bool closed = false; // the caller is done taking: no helper may start
    std::exception_ptr failure;

    void takeAll()
    {
        try {
            for (;;) {
                const std::size_t i = next.fetch_add(1);
                if (i >= count || token.isCancelled())
                    return;
                (*body)(i);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!failure)
                failure = std::current_exception();
            // Nobody takes more once one part failed.
            next.store(count);
        }
    }
};

} // namespace

void TaskPool::forEach(std::size_t count, unsigned maxThreads, const std::function<void(std::size_t)> &body)
{
    if (count == 0)
        return;
    auto state = std::make_shared<ForEachState>();
    state->count = count;
    state->body = &body;
    state->token = CancelToken::current();
    const std::size_t wanted = maxThreads == 0 ? threadCount() : maxThreads;
    const std::size_t helpers = std::min({wanted - 1, count - 1, std::size_t(threadCount())});
    for (std::size_t i = 0; i < helpers; ++i) {
        post(
            [state] {
                {
                    const std::lock_guard<std::mutex> lock(state->mutex);
                    if (state->closed)
                        return;
                    ++state->active;
                }
                state->takeAll();
                const std::lock_guard<std::mutex> lock(state->mutex);
                if (--state->active == 0)
                    state->idle.notify_all();
            },
            state->token);
    }
    state->takeAll();
    std::unique_lock<std::mutex> lock(state->mutex);
    state->closed = true;
    state->idle.wait(lock, [&] { return state->active == 0; });
    if (state->failure)
        std::rethrow_exception(state->failure);
}
