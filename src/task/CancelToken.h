#pragma once

#include <atomic>
#include <memory>

// The "stop" flag of one request, shared by whoever started the request and the work it
// runs; copies share the flag. Work that runs through TaskPool has its request's token as
// the thread's current one, so long loops deep below (a table scan, a sort) ask
// CancelToken::currentCancelled() instead of taking a token through every call.
class CancelToken
{
public:
    CancelToken() : m_flag(std::make_shared<std::atomic<bool>>(false)) {}

    void cancel() const { m_flag->store(true, std::memory_order_relaxed); }
    bool isCancelled() const { return m_flag->load(std::memory_order_relaxed); }
    // The flag itself, for code that polls a plain atomic (the sound decoder).
    const std::atomic<bool> *flag() const { return m_flag.get(); }

    // The token of the request the calling thread works for; a token nobody cancels when
    // the thread works for none.
    static CancelToken current();
    static bool currentCancelled();

private:
    friend class CancelScope;
    std::shared_ptr<std::atomic<bool>> m_flag;
};

// Makes a token the calling thread's current one for a scope; the one before comes back
// at the end.
class CancelScope
{
public:
    explicit CancelScope(const CancelToken &token);
    ~CancelScope();
    CancelScope(const CancelScope &) = delete;
    CancelScope &operator=(const CancelScope &) = delete;

private:
    CancelToken m_token;
    const CancelToken *m_previous;
};

// Thrown by work that notices its request was cancelled in a place that cannot return early
// (a comparison inside std::sort). It never leaves the module that throws it: whoever calls
// such work catches it and reports the request as cancelled.
struct TaskCancelled
{};

// Throws TaskCancelled when the calling thread's request was cancelled.
inline void throwIfCancelled()
{
    if (CancelToken::currentCancelled())
        throw TaskCancelled{};
}

// For a loop too tight to look at the token every time (the comparisons of a sort): looks
// every 16,384th step, and throws TaskCancelled when the request was cancelled.
class CancelPoll
{
public:
    void step()
    {
        if ((++m_steps & 0x3FFF) == 0)
            throwIfCancelled();
    }

private:
    unsigned m_steps = 0;
};
