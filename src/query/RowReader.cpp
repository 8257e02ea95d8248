#include "query/RowReader.h"

#include "db/ado/AdoRecordR.h"
#include "db/exec/JetRecordset.h"
#include "db/record/CallRecord.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include <QDir>

RowReader::RowReader(CAdoDb &db, const QString &backupDir)
    : m_db(db)
    , m_recordings(backupDir)
    , m_typeTexts{GetDialogText(Ids::TxtIncoming).toUtf8(), GetDialogText(Ids::TxtOutgoing).toUtf8(),
                  GetDialogText(Ids::TxtMissed).toUtf8()}
    // Shown with the platform's separators: E:\Backup\0001\voice\a.wav on Windows.
    , m_voiceDirUtf8(QDir::toNativeSeparators(m_recordings.path()).toUtf8())
{}

RowReader::~RowReader() = default;

std::shared_ptr<ResultRows> RowReader::NewStorage() const
{
    return std::make_shared<ResultRows>(m_typeTexts, m_voiceDirUtf8);
}

bool RowReader::Open(const QString &statement)
{
    m_cursor = std::make_unique<CAdoRecordR>(&m_db);
    m_nextNumber = 1;
    m_expectedRows = -1;
    if (!m_cursor->Open(statement)) {
        m_cursor.reset();
        return false;
    }
    if (m_cursor->m_pRecordset)
        m_expectedRows = qint64(m_cursor->m_pRecordset->rowCount());
    return true;
}

bool RowReader::HasMore() const
{
    return m_cursor && m_cursor->HasRecord();
}

void RowReader::ReadInto(ResultRows &rows, int maxRows)
{
    if (!m_cursor)
        return;
    CallRecord record;
    for (int n = 0; n < maxRows && m_cursor->HasRecord(); ++n) {
        record.Reset(); // a column that fails keeps its default, not the last row's value
        // A row that cannot be decoded is left out (the scan report counts it).
        if (m_cursor->GetRecord(record, CAdoRecordR::Columns::ListOnly)) {
            // Cells 6 and 8: the file as it is spelt on disk (written on Windows, the record's
            // name may differ in case or use "\"), so that playback and delete reach that file.
            if (!record.record_file.isEmpty() && record.record_file != QLatin1String("DEL"))
                record.record_file = m_recordings.NameOnDisk(record.record_file);
            // An empty name leaves the voice folder itself, which does not open as a file.
            const qint64 size = record.record_file.isEmpty() ? -1 : m_recordings.SizeOf(record.record_file);
            rows.Append(record, m_nextNumber++, size);
        }
        m_cursor->MoveNext();
    }
}

ScanReport RowReader::Report() const
{
    if (m_cursor && m_cursor->m_pRecordset)
        return m_cursor->m_pRecordset->scanReport();
    return ScanReport();
}

ScanReport RowReader::Close()
{
    const ScanReport report = Report();
    m_cursor.reset(); // closes and releases the result
    return report;
}
