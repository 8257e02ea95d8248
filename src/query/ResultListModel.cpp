#include "query/ResultListModel.h"

#include "query/RowReader.h"
#include "query/SharedDatabase.h"
#include "task/TaskRunner.h"

#include <QElapsedTimer>

namespace {

// A background fill hands over its first rows at once, then batches of rows read in about
// kBatchMilliseconds, growing from kFirstBatch rows up to kMaxBatch.
constexpr int kFirstBatch = 200;
constexpr int kMaxBatch = 65536;
constexpr int kBatchMilliseconds = 30;

} // namespace

ResultListModel::ResultListModel(QObject *parent)
    : CallListModel(0, parent)
    , m_recordings(QString())
    , m_fillRunner(new TaskRunner(this))
{
    Clear();
}

ResultListModel::~ResultListModel() = default;

void ResultListModel::SetBackupDir(const QString &backupDir)
{
    m_backupDir = backupDir;
    m_recordings = RecordingFolder(backupDir);
    Clear();
}

void ResultListModel::Clear(std::shared_ptr<ResultRows> storage)
{
    ClearRows();
    // A new search sees the voice folder as it is now.
    m_recordings = RecordingFolder(m_backupDir);
    m_scanReport = ScanReport();
    m_expectedRows = -1;
    // Until a reader gives one, an empty storage that takes the texts of the first batch.
    if (!storage)
        storage = std::make_shared<ResultRows>(std::array<QByteArray, 3>{}, QByteArray());
    AddSource(QString(), m_backupDir, std::move(storage));
}

void ResultListModel::Append(ResultRows &&batch)
{
    ResultRows &rows = Writable(0);
    const int first = rows.Count();
    rows.AppendRows(std::move(batch));
    ShowAppended(first, rows.Count() - 1);
}

void ResultListModel::StartFill(std::shared_ptr<SharedDatabase> db, const QString &statement)
{
    EndFill();
    // The list is emptied before the statement runs, so that the old rows are gone before
    // the new ones are found.
    Clear();
    m_filling = true;
    const QString backupDir = m_backupDir;
    m_fillRunner->start(
        [this, db, statement, backupDir](const TaskRunner::Request &request) {
            std::unique_lock<std::mutex> lock(db->inUse);
            auto reader = std::make_shared<RowReader>(db->db, backupDir);
            if (!reader->Open(statement)) {
                const QString error = db->db.LastError();
                request.deliver([this, error] {
                    m_filling = false;
                    emit fillFinished(false, error);
                });
                return;
            }
            const qint64 expected = reader->ExpectedRowCount();
            request.deliver([this, expected] {
                m_expectedRows = expected;
                // Room for every row at once: the list then never copies what it holds.
                if (expected > 0) {
                    Writable(0).Reserve(std::size_t(expected));
                    ReserveRows(std::size_t(expected));
                }
            });
            // The connection is let go between batches: a delete from the window may run then.
            int batchRows = kFirstBatch;
            while (reader->HasMore() && !request.isCancelled()) {
                if (!lock.owns_lock())
                    lock.lock();
                auto batch = reader->NewStorage();
                QElapsedTimer time;
                time.start();
                reader->ReadInto(*batch, batchRows);
                if (time.elapsed() < kBatchMilliseconds / 2)
                    batchRows = std::min(batchRows * 2, kMaxBatch);
                lock.unlock();
                request.deliver([this, batch] { Append(std::move(*batch)); });
            }
            if (!lock.owns_lock())
                lock.lock();
            const ScanReport report = reader->Close();
            request.deliver([this, report] {
                m_scanReport = report;
                FillEnded();
                emit fillFinished(true, QString());
            });
        },
        [this](const QString &error) {
            m_filling = false;
            emit fillFinished(false, error);
        });
}

bool ResultListModel::BeginFill(CAdoDb &db, const QString &statement)
{
    EndFill();
    m_reader = std::make_unique<RowReader>(db, m_backupDir);
    Clear(m_reader->NewStorage());
    if (!m_reader->Open(statement)) {
        m_reader.reset();
        return false;
    }
    m_expectedRows = m_reader->ExpectedRowCount();
    if (m_expectedRows > 0)
        Writable(0).Reserve(std::size_t(m_expectedRows));
    m_filling = true;
    return true;
}

bool ResultListModel::FillMore(int maxRows)
{
    if (!m_reader)
        return false;
    // The rows go into the storage first and are shown to the view in one step.
    ResultRows &rows = Writable(0);
    const int first = rows.Count();
    m_reader->ReadInto(rows, maxRows);
    ShowAppended(first, rows.Count() - 1);
    if (m_reader->HasMore())
        return true;
    m_scanReport = m_reader->Close();
    m_reader.reset();
    FillEnded();
    return false;
}

void ResultListModel::FillEnded()
{
    m_filling = false;
    // A sort asked for during the fill.
    SortAfterFill();
}

void ResultListModel::EndFill()
{
    m_fillRunner->cancel();
    if (m_reader) {
        m_scanReport = m_reader->Close();
        m_reader.reset();
    }
    m_filling = false;
}

void ResultListModel::FillResultList(CAdoDb &db, const QString &statement)
{
    if (BeginFill(db, statement)) {
        while (FillMore(4096)) {}
    }
}

void ResultListModel::ForgetRows()
{
    // The reader goes on; the list starts a new, empty storage whose rows keep their numbers,
    // and the snapshot taken of the rows before is still written whole.
    const bool filling = m_filling;
    ClearRows(true);
    AddSource(QString(), m_backupDir,
              m_reader ? m_reader->NewStorage()
                       : std::make_shared<ResultRows>(std::array<QByteArray, 3>{}, QByteArray()));
    m_filling = filling;
}
