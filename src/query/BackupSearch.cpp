#include "query/BackupSearch.h"

#include "lang/Ids.h"

#include "backup/BackupArray.h"
#include "db/ado/AdoDb.h"
#include "query/RowReader.h"
#include "task/TaskPool.h"
#include "task/TaskRunner.h"

#include <exception>

namespace {
// Rows read between two looks at the request's cancel token.
constexpr int kRowsPerStep = 4096;
} // namespace

BackupSearch::BackupSearch(QObject *parent) : QObject(parent), m_runner(new TaskRunner(this)) {}

BackupSearch::~BackupSearch() = default;

void BackupSearch::Start(std::vector<Target> targets, const QString &statement)
{
    Stop();
    ++m_generation;
    m_targets = std::move(targets);
    m_results.clear();
    m_results.resize(m_targets.size());
    auto shared = std::make_shared<const std::vector<Target>>(m_targets);
    const int generation = m_generation;
    m_runner->start([this, shared, statement, generation](const TaskRunner::Request &request) {
        // As many backups at a time as the pool has free threads; a scan inside one of them
        // takes threads only when some are left.
        TaskPool::shared().forEach(shared->size(), 0, [&](std::size_t index) {
            auto result = std::make_shared<Result>(SearchOne((*shared)[index], statement));
            if (request.isCancelled())
                return; // a stopped backup is not announced: its rows may be incomplete
            request.deliver([this, result, generation, index] {
                m_results[index] = std::move(*result);
                emit BackupSearched(generation, int(index));
            });
        });
    });
}

void BackupSearch::Stop()
{
    m_runner->cancel();
}

bool BackupSearch::IsRunning() const
{
    return m_runner->isBusy();
}

std::shared_ptr<ResultRows> BackupSearch::TakeRows(int index)
{
    return std::move(m_results[size_t(index)].rows);
}

BackupSearch::Result BackupSearch::SearchOne(const Target &target, const QString &statement)
{
    try {
        return SearchOneUnguarded(target, statement);
    } catch (const TaskCancelled &) {
        return Result{QStringLiteral("cancelled"), {}, {}};
    } catch (const std::exception &e) {
        return Result{QString::fromLocal8Bit(e.what()), {}, {}};
    }
}

BackupSearch::Result BackupSearch::SearchOneUnguarded(const Target &target, const QString &statement)
{
    Result result;
    CAdoDb db;
    if (!db.OpenForReading(CBackupArray::DatabaseOf(target.dir), QString())) {
        result.failure = db.LastError();
        return result;
    }
    RowReader reader(db, target.dir);
    if (!reader.Open(statement)) {
        result.failure = db.LastError();
        return result;
    }
    auto rows = reader.NewStorage();
    if (reader.ExpectedRowCount() > 0)
        rows->Reserve(std::size_t(reader.ExpectedRowCount()));
    while (reader.HasMore() && !CancelToken::currentCancelled())
        reader.ReadInto(*rows, kRowsPerStep);
    result.report = reader.Close();
    result.rows = std::move(rows);
    return result;
}

int BackupSearch::FailureTextId(const QString &failure)
{
    const auto says = [&failure](const char *words) {
        return failure.contains(QLatin1String(words), Qt::CaseInsensitive);
    };
    if (says("password"))
        return Ids::TxtFailurePassword;
    if (says("Could not find file") || says("no such file"))
        return Ids::TxtFailureNoDatabase;
    if (says("currently locked") || says("already opened exclusively") || says("locked by another"))
        return Ids::TxtFailureLocked;
    if (says("needs to be repaired") || says("Unrecognized database format") || says("damaged")
        || says("isn't a database") || says("corrupt"))
        return Ids::TxtFailureDamaged;
    return Ids::TxtFailureUnreadable;
}
