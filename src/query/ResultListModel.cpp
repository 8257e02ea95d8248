#include "query/ResultListModel.h"

#include "db/AdoRecordR.h"
#include "db/CallRecord.h"
#include "db/JetRecordset.h"
#include "lang/Ids.h"
#include "lang/Language.h"
#include "query/CellFormat.h"
#include "query/TextOrder.h"

#include <QStringEncoder>

#include <algorithm>
#include <charconv>
#include <limits>

namespace {
constexpr quint32 kBlockSize = 1u << 20;

void appendNumber(QByteArray &out, qint64 value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}
} // namespace

ResultListModel::ResultListModel(QObject *parent) : QAbstractTableModel(parent), m_recordings(QString())
{
    for (int i = 0; i < kCellCount; ++i)
        m_titles << QStringLiteral(" ");
}

ResultListModel::~ResultListModel() = default;

void ResultListModel::SetBackupDir(const QString &backupDir)
{
    m_backupDir = backupDir;
    m_recordings = RecordingFolder(backupDir);
    m_voiceDirUtf8 = m_recordings.path().toUtf8();
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

void ResultListModel::Clear()
{
    beginResetModel();
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_order.clear();
    m_order.shrink_to_fit();
    // A new search shows the statement's order.
    m_sortColumn = -1;
    m_sortOrder = Qt::AscendingOrder;
    m_missedCount = 0;
    m_talkSeconds = 0;
    m_blocks.clear();
    m_blockSizes.clear();
    m_blockUsed = 0;
    m_nextNumber = 1;
    // A new search sees the voice folder as it is now.
    m_recordings = RecordingFolder(m_backupDir);
    endResetModel();
}

bool ResultListModel::BeginFill(CAdoDb &db, const QString &statement)
{
    EndFill();
    m_db = &db;
    auto cursor = std::make_unique<CAdoRecordR>(&db);
    const bool opened = cursor->Open(statement);
    // The list is emptied whether or not the statement ran.
    Clear();
    m_scanReport = ScanReport();
    m_expectedRows = -1;
    if (!opened)
        return false;
    m_typeTexts = {GetDialogText(Ids::TxtIncoming).toUtf8(), GetDialogText(Ids::TxtOutgoing).toUtf8(),
                   GetDialogText(Ids::TxtMissed).toUtf8()};
    if (cursor->m_pRecordset) {
        m_expectedRows = qint64(cursor->m_pRecordset->rowCount());
        m_rows.reserve(cursor->m_pRecordset->rowCount());
        m_order.reserve(cursor->m_pRecordset->rowCount());
    }
    m_cursor = std::move(cursor);
    return true;
}

bool ResultListModel::FillMore(int maxRows)
{
    if (!m_cursor)
        return false;
    const int first = RowCount();
    std::vector<CallRecord> batch;
    for (int n = 0; n < maxRows && m_cursor->HasRecord(); ++n) {
        CallRecord record; // fresh for every row: a column that fails keeps its default
        if (m_cursor->GetRecord(record))
            batch.push_back(std::move(record));
        m_cursor->MoveNext();
    }
    if (!batch.empty()) {
        beginInsertRows(QModelIndex(), first, first + int(batch.size()) - 1);
        for (const CallRecord &record : batch)
            Append(record);
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
    const Row &shown = Shown(row);
    return shown.startValid ? shown.start : -std::numeric_limits<double>::infinity();
}

void ResultListModel::Append(const CallRecord &record)
{
    Row row{};
    row.number = m_nextNumber++;
    row.id = record.id;
    row.talkedTime = record.talked_time;
    row.start = record.record_time_start.m_dt;
    row.startValid = record.record_time_start.isValid();
    const int typeId = CellFormat::CallTypeTextId(record.call_direction, record.talked_time);
    row.typeText = typeId == Ids::TxtIncoming ? 0 : (typeId == Ids::TxtOutgoing ? 1 : 2);
    if (record.record_file.isEmpty())
        row.file = FileKind::None;
    else if (record.record_file == QLatin1String("DEL"))
        row.file = FileKind::Deleted;
    else
        row.file = FileKind::Named;
    // Cells 6 and 8: the file as it is spelt on disk (written on Windows, the record's name
    // may differ in case or use "\"), so that playback and delete reach that file.
    const QString file = row.file == FileKind::Named ? m_recordings.NameOnDisk(record.record_file) : QString();
    // An empty name leaves the voice folder itself, which does not open as a file.
    row.size = record.record_file.isEmpty() ? -1 : m_recordings.SizeOf(file.isEmpty() ? record.record_file : file);

    // The texts go straight into the arena as UTF-8; room for the worst case (three bytes
    // per UTF-16 unit) is made first.
    const QString *texts[TextFieldCount] = {&record.name, &record.fsk, &record.context, &record.dtmf, &file};
    quint32 worstCase = 0;
    for (const QString *t : texts)
        worstCase += quint32(t->size()) * 3;
    if (m_blocks.empty() || m_blockUsed + worstCase > m_blockSizes.back()) {
        const quint32 size = std::max(kBlockSize, worstCase);
        m_blocks.push_back(std::make_unique<char[]>(size));
        m_blockSizes.push_back(size);
        m_blockUsed = 0;
    }
    row.block = quint32(m_blocks.size() - 1);
    row.offset = m_blockUsed;
    char *const start = m_blocks.back().get() + m_blockUsed;
    char *out = start;
    for (int f = 0; f < TextFieldCount; ++f) {
        QStringEncoder encoder(QStringEncoder::Utf8);
        char *end = encoder.appendToBuffer(out, *texts[f]);
        row.length[size_t(f)] = quint32(end - out);
        out = end;
    }
    m_blockUsed += quint32(out - start);
    m_order.push_back(quint32(m_rows.size()));
    m_rows.push_back(row);
    Count(row, 1);
}

void ResultListModel::Count(const Row &row, int sign)
{
    if (row.typeText == 2)
        m_missedCount += sign;
    m_talkSeconds += sign * qint64(row.talkedTime);
}

QByteArrayView ResultListModel::Text(const Row &row, TextField field) const
{
    const char *p = m_blocks[row.block].get() + row.offset;
    for (int f = 0; f < field; ++f)
        p += row.length[size_t(f)];
    return QByteArrayView(p, qsizetype(row.length[size_t(field)]));
}

QString ResultListModel::CellText(int row, int position) const
{
    QByteArray text;
    AppendCellUtf8(row, position, text);
    return QString::fromUtf8(text);
}

void ResultListModel::AppendCellUtf8(int rowIndex, int position, QByteArray &out) const
{
    if (rowIndex < 0 || rowIndex >= RowCount())
        return;
    const Row &row = Shown(rowIndex);
    switch (position) {
    case CellNumber:
        appendNumber(out, row.number);
        return;
    case CellName:
        out += Text(row, Name);
        return;
    case CellType:
        out += m_typeTexts[row.typeText];
        return;
    case CellPhone:
        out += Text(row, Phone);
        return;
    case CellStart:
        CellFormat::AppendStartTime(out, OleDate(row.start, row.startValid ? OleDate::Valid : OleDate::Invalid));
        return;
    case CellTalkTime:
        CellFormat::AppendTalkTime(out, row.talkedTime);
        return;
    case CellSize:
        if (row.size >= 0)
            CellFormat::AppendFileSize(out, row.size);
        return;
    case CellRemark:
        out += Text(row, Remark);
        return;
    case CellFile:
        if (row.file == FileKind::Deleted) {
            out += "DEL";
        } else if (row.file == FileKind::Named) {
            out += m_voiceDirUtf8;
            out += Text(row, File);
        }
        return;
    case CellId:
        appendNumber(out, row.id);
        return;
    case CellDtmf:
        out += Text(row, Dtmf);
        return;
    default:
        return;
    }
}

void ResultListModel::RemoveRow(int row)
{
    if (row < 0 || row >= RowCount())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    Count(Shown(row), -1);
    m_order.erase(m_order.begin() + row);
    endRemoveRows();
}

void ResultListModel::ForgetRows()
{
    beginResetModel();
    m_rows.clear();
    m_order.clear();
    m_missedCount = 0;
    m_talkSeconds = 0;
    m_blocks.clear();
    m_blockSizes.clear();
    m_blockUsed = 0;
    endResetModel();
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
        const Row &row = Shown(index.row());
        if (row.file == FileKind::Named && row.size < 0)
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
    if (m_sortColumn >= 0) {
        const int column = m_sortColumn;
        if (m_sortOrder == Qt::AscendingOrder)
            std::stable_sort(m_order.begin(), m_order.end(),
                             [&](quint32 a, quint32 b) { return StoredRowLess(column, a, b); });
        else
            std::stable_sort(m_order.begin(), m_order.end(),
                             [&](quint32 a, quint32 b) { return StoredRowLess(column, b, a); });
    }

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

bool ResultListModel::StoredRowLess(int column, quint32 a, quint32 b) const
{
    const Row &x = m_rows[a];
    const Row &y = m_rows[b];
    const auto texts = [&](TextField field) { return CompareTexts(Text(x, field), Text(y, field)) < 0; };
    switch (column) {
    case CellNumber:
        return x.number < y.number;
    case CellName:
        return texts(Name);
    case CellType:
        return CompareTexts(m_typeTexts[x.typeText], m_typeTexts[y.typeText]) < 0;
    case CellPhone:
        return texts(Phone);
    case CellStart:
        // A start time that is not valid shows as -01-... and goes first.
        if (x.startValid != y.startValid)
            return !x.startValid;
        return x.startValid && x.start < y.start;
    case CellTalkTime:
        return x.talkedTime < y.talkedTime;
    case CellSize:
        return x.size < y.size; // an empty cell (-1) first
    case CellRemark:
        return texts(Remark);
    case CellFile:
        // Empty cells, then "DEL", then the files by name.
        if (x.file != y.file)
            return x.file < y.file;
        return x.file == FileKind::Named && texts(File);
    case CellId:
        return x.id < y.id;
    case CellDtmf:
        return texts(Dtmf);
    default:
        return false;
    }
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
