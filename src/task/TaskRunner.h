#pragma once

#include "task/CancelToken.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

// Runs one kind of request of a window (its fill, its sort, its export, a decode) on the
// shared TaskPool, one request at a time: starting a new one cancels the one before. What
// the work hands back reaches this object's thread through queued calls, and whatever a
// request cancelled or replaced hands back is dropped there, by the request's generation.
//
// Nothing here waits: cancel() and the destructor return at once and the work ends by
// itself soon after, so the work must own (or share) everything it uses.
class TaskRunner : public QObject
{
    Q_OBJECT

public:
    // What a running request's work gets: its token, and the way back to the runner.
    class Request
    {
    public:
        const CancelToken &token() const { return m_token; }
        bool isCancelled() const { return m_token.isCancelled(); }
        // Runs `f` on the runner's thread, unless by then the request has been cancelled or
        // replaced or the runner is gone. Returns at once.
        void deliver(std::function<void()> f) const;

    private:
        friend class TaskRunner;
        struct Mailbox;
        void post(std::function<void(TaskRunner *)> f) const;
        std::shared_ptr<Mailbox> m_mailbox;
        quint64 m_generation = 0;
        CancelToken m_token;
    };

    explicit TaskRunner(QObject *parent = nullptr);
    ~TaskRunner() override;

    // Cancels the request still running and starts `work` on the pool. When `work` throws,
    // `failed` gets the reason here (a request that noticed its cancellation fails silently);
    // when it has ended either way, finished() follows.
    void start(std::function<void(const Request &)> work, std::function<void(const QString &)> failed = {});
    // Cancels the running request; nothing it hands back arrives after this.
    void cancel();
    // Whether the newest request's work has not ended yet.
    bool isBusy() const { return m_busy; }
    quint64 generation() const { return m_generation; }

signals:
    // The newest request's work has ended (never for one cancelled or replaced).
    void finished();

private:
    void ended(const QString &failure, const std::function<void(const QString &)> &failed);

    std::shared_ptr<Request::Mailbox> m_mailbox;
    quint64 m_generation = 0;
    CancelToken m_token;
    bool m_busy = false;
};
