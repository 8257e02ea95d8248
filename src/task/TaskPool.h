#pragma once

#include "task/CancelToken.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// The one pool of worker threads that all background work runs on: a window's fill, sort
// and export, the search over many backups, the table scans inside them, the decoding of a
// recording. It has one thread per core, so work never runs on more threads than the
// machine has, whoever asks for it.
//
// Work posted runs with its request's CancelToken as the thread's current one. An exception
// that leaves it is caught here (and written to the log), so it never ends the program;
// work that has a caller to tell (TaskRunner) catches and reports its own.
class TaskPool
{
public:
    // The program's pool, made on first use.
    static TaskPool &shared();

    explicit TaskPool(unsigned threads);
    // Drops work not yet begun and waits for the work running now.
    ~TaskPool();
    TaskPool(const TaskPool &) = delete;
    TaskPool &operator=(const TaskPool &) = delete;

    unsigned threadCount() const { return unsigned(m_threads.size()); }

    // Runs `work` on a pool thread, in the order posted, with `token` current.
    void post(std::function<void()> work, CancelToken token = CancelToken());

    // Calls `body(i)` for every i below `count`, in ascending order of i as threads take
    // them: on the calling thread and on up to `maxThreads` - 1 pool threads that are free
    // (0: as many as the pool has). Returns once every i taken has run. The calling thread's
    // current token is current in the helpers too; once it is cancelled, no further i is
    // taken. Safe to call from a pool thread: when no other is free, the caller does all of
    // it. An exception from `body` is thrown again here, after the helpers have ended.
    void forEach(std::size_t count, unsigned maxThreads, const std::function<void(std::size_t)> &body);

private:
    struct Job
    {
        std::function<void()> work;
        CancelToken token;
    };
    void run();

    std::vector<std::thread> m_threads;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    bool m_stopping = false;
};
