#include "query/ResultListModel.h"

#include "db/ado/AdoRecordR.h"
#include "db/exec/JetRecordset.h"
#include "db/record/CallRecord.h"
#include "lang/Ids.h"
#include "lang/Language.h"

#include <QDir>

#include <algorithm>

ResultListModel::ResultListModel(QObject *parent) : QAbstractTableModel(parent), m_recordings(QString())
{
    for (int i = 0; i < kCellCount; ++i)
        m_titles << QStringLiteral(" ");
    NewStorage();
}

ResultListModel::~ResultListModel() = default;

void ResultListModel::SetBackupDir(const QString &backupDir)
{
    m_backupDir = backupDir;
    m_recordings = RecordingFolder(backupDir);
}

void ResultListModel::SetTitles(const QStringList &titles)
{
    for (int i = 0; i < kCellCount && i < titles.size(); ++i)
        m_titles[i] = titles.at(i);
    emit headerDataChanged(Qt::Horizontal, 0, kCellCount - 1);
}

void ResultListModel::SetMutedForeground(const QVariant &brush)
{
    m_mutedForeground = brush;
}

void ResultListModel::NewStorage()
{
    // The rows of a snapshot still being written leave the list with all the others.
    if (const auto removals = m_removalsWatch.lock())
        removals->MarkAll();
    m_removalsWatch.reset();
    // Shown with the platform's separators: E:\Backup\0001\voice\a.wav on Windows.
    m_rows = std::make_shared<ResultRows>(m_typeTexts, QDir::toNativeSeparators(m_recordings.path()).toUtf8());
}

ResultRows &ResultListModel::Writable()
{
    // A snapshot handed to another thread keeps reading the storage as it was.
    if (m_rows.use_count() > 1)
        m_rows = std::make_shared<ResultRows>(*m_rows);
    return *m_rows;
}

void ResultListModel::Clear()
{
    beginResetModel();
    m_order.clear();
    m_order.shrink_to_fit();
    // A new search shows the statement's order.
    m_sortColumn = -1;
    m_sortOrder = Qt::AscendingOrder;
    m_missedCount = 0;
    m_talkSeconds = 0;
    m_nextNumber = 1;
    // A new search sees the voice folder as it is now.
    m_recordings = RecordingFolder(m_backupDir);
    NewStorage();
    endResetModel();
}

bool ResultListModel::BeginFill(CAdoDb &db, const QString &statement)
{
    EndFill();
    m_db = &db;
    // The list is emptied whether or not the statement runs, and before it runs, so that the
    // old rows are gone before the new ones are found; its new storage takes the texts.
    m_typeTexts = {GetDialogText(Ids::TxtIncoming).toUtf8(), GetDialogText(Ids::TxtOutgoing).toUtf8(),
                   GetDialogText(Ids::TxtMissed).toUtf8()};
    Clear();
    auto cursor = std::make_unique<CAdoRecordR>(&db);
    const bool opened = cursor->Open(statement);
    m_scanReport = ScanReport();
    m_expectedRows = -1;
    if (!opened)
        return false;
    if (cursor->m_pRecordset) {
        m_expectedRows = qint64(cursor->m_pRecordset->rowCount());
        m_rows->Reserve(cursor->m_pRecordset->rowCount());
        m_order.reserve(cursor->m_pRecordset->rowCount());
    }
    m_cursor = std::move(cursor);
    return true;
}

bool ResultListModel::FillMore(int maxRows)
{
    if (!m_cursor)
        return false;
    // The rows go into the storage first and are shown to the view in one step, so that no
    // call record of the batch is kept beyond its own row.
    ResultRows &rows = Writable();
    const int first = rows.Count();
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
    if (rows.Count() > first) {
        beginInsertRows(QModelIndex(), RowCount(), RowCount() + rows.Count() - first - 1);
        for (int stored = first; stored < rows.Count(); ++stored) {
            m_order.push_back(quint32(stored));
            Count(stored, 1);
        }
        endInsertRows();
    }
    if (m_cursor->HasRecord())
        return true;
    EndFill();
    // A sort asked for during the fill.
    if (m_sortColumn >= 0)
        ApplySort();
    return false;
}

void ResultListModel::EndFill()
{
    if (m_cursor && m_cursor->m_pRecordset)
        m_scanReport = m_cursor->m_pRecordset->scanReport();
    m_cursor.reset(); // closes and releases the result
    m_db = nullptr;
}

void ResultListModel::FillResultList(CAdoDb &db, const QString &statement)
{
    if (BeginFill(db, statement)) {
        while (FillMore(4096)) {}
    }
}

double ResultListModel::StartOrderKey(int row) const
{
    return m_rows->StartOrderKey(Stored(row));
}

void ResultListModel::Count(int stored, int sign)
{
    if (m_rows->IsMissed(stored))
        m_missedCount += sign;
    m_talkSeconds += sign * qint64(m_rows->TalkedTime(stored));
}

QString ResultListModel::CellText(int row, int position) const
{
    QByteArray text;
    AppendCellUtf8(row, position, text);
    return QString::fromUtf8(text);
}

void ResultListModel::AppendCellUtf8(int row, int position, QByteArray &out) const
{
    if (row >= 0 && row < RowCount())
        m_rows->AppendCellUtf8(Stored(row), position, out);
}

void ResultListModel::RemoveRow(int row)
{
    if (row < 0 || row >= RowCount())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    if (const auto removals = m_removalsWatch.lock())
        removals->Mark(quint32(Stored(row)));
    Count(Stored(row), -1);
    m_order.erase(m_order.begin() + row);
    endRemoveRows();
}

void ResultListModel::ForgetRows()
{
    beginResetModel();
    m_order.clear();
    m_missedCount = 0;
    m_talkSeconds = 0;
    NewStorage();
    endResetModel();
}

ResultSnapshot ResultListModel::Snapshot()
{
    ResultSnapshot snapshot(m_rows, m_order);
    m_removalsWatch = snapshot.RemovalsWatch();
    return snapshot;
}

int ResultListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int ResultListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kCellCount;
}

QVariant ResultListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount())
        return QVariant();
    if (role == Qt::DisplayRole)
        return CellText(index.row(), index.column());
    if (role == Qt::ForegroundRole) {
        if (m_rows->FileMissing(Stored(index.row())))
            return m_mutedForeground;
    }
    return QVariant();
}

void ResultListModel::sort(int column, Qt::SortOrder order)
{
    m_sortColumn = column >= 0 && column < kCellCount ? column : -1;
    m_sortOrder = order;
    if (!IsFilling())
        ApplySort();
}

void ResultListModel::ApplySort()
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<quint32> storedRows;
    storedRows.reserve(size_t(before.size()));
    for (const QModelIndex &index : before)
        storedRows.push_back(m_order[size_t(index.row())]);

    // From the statement's order, so that rows with equal cells keep it.
    std::sort(m_order.begin(), m_order.end());
    if (m_sortColumn >= 0)
        m_rows->Sort(m_sortColumn, m_sortOrder == Qt::DescendingOrder, m_order);

    // The views' selections and current rows follow their rows to the new places.
    QModelIndexList after = before;
    if (!before.isEmpty()) {
        for (int shown = 0; shown < RowCount(); ++shown) {
            for (size_t i = 0; i < storedRows.size(); ++i) {
                if (storedRows[i] == m_order[size_t(shown)])
                    after[qsizetype(i)] = index(shown, before[qsizetype(i)].column());
            }
        }
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kCellCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return m_titles.at(section);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    // The first click on any title sorts ascending, whatever the last sort was.
    if (role == Qt::InitialSortOrderRole)
        return int(Qt::AscendingOrder);
    return QVariant();
}
