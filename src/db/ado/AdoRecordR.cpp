#include "db/ado/AdoRecordR.h"

#include "db/ado/VariantConvert.h"
#include "db/exec/JetRecordset.h"
#include "db/record/CallRecord.h"

namespace {

enum Field {
    Id,
    LineId,
    RecordTimeStart,
    RecordTimeStop,
    RecordTime,
    RingTime,
    TalkedTime,
    RecordType,
    CallDirection,
    Context,
    Fsk,
    Dtmf,
    RecordFile,
    RecordDir,
    RYear,
    RMonth,
    RDay,
    Name,
    Address,
};

} // namespace

CAdoRecordR::CAdoRecordR(CAdoDb *db) : CAdoRecordBase(db) {}

CAdoRecordR::~CAdoRecordR()
{
    Close();
    m_pRecordset.reset();
}

const std::array<const char *, CAdoRecordR::kColumnCount> &CAdoRecordR::ColumnNames()
{
    static const std::array<const char *, kColumnCount> names = {
        "id",
        "line_id",
        "record_time_start",
        "record_time_stop",
        "record_time",
        "ring_time",
        "talked_time",
        "record_type",
        "call_direction",
        "context",
        "fsk",
        "dtmf",
        "record_file",
        "record_dir",
        "ryear",
        "rmonth",
        "rday",
        "name",
        "address",
    };
    return names;
}

bool CAdoRecordR::GetRecord(CallRecord &record, Columns columns)
{
    if (!HasRecord())
        return false;
    JetRecordset &rs = *m_pRecordset;
    if (m_positionsFor != &rs) {
        for (int i = 0; i < kColumnCount; ++i)
            m_positions[size_t(i)] = rs.columnIndex(QLatin1String(ColumnNames()[size_t(i)]));
        m_positionsFor = &rs;
    }
    // A row that cannot be decoded is no call: it is left out, never shown with defaults.
    const jet::RowView *row = rs.currentRow();
    if (!row)
        return false;

    // Each column is read directly when its stored type is the field's type (the common
    // case, and the fast one) and through the variant conversions otherwise.
    auto column = [&](Field f) { return m_positions[f]; };
    // The typed accessors answer false for NULL, so no separate NULL test is needed.
    auto readInt = [&](Field f, int &field) {
        const int c = column(f);
        if (c < 0)
            return;
        const jet::ColumnType type = rs.table().column(c).type();
        std::int64_t v = 0;
        if (type == jet::ColumnType::Byte || type == jet::ColumnType::Integer || type == jet::ColumnType::Long) {
            if (row->integer(c, &v))
                field = int(v);
            return;
        }
        VariantConvert::toInt32(row->value(c), &field);
    };
    auto readDate = [&](Field f, OleDate &field) {
        const int c = column(f);
        if (c < 0)
            return;
        double days = 0;
        const bool ok = rs.table().column(c).type() == jet::ColumnType::DateTime
                            ? row->dateTime(c, &days)
                            : VariantConvert::toDouble(row->value(c), &days);
        if (ok) {
            field.m_dt = days;
            field.m_status = OleDate::Valid;
        }
    };
    // Our narrow code page is UTF-8, so text passes unchanged: nothing is lost to a code
    // page that cannot represent it.
    auto readText = [&](Field f, QString &field) {
        const int c = column(f);
        if (c < 0)
            return;
        if (rs.table().column(c).isText()) {
            // An empty field takes the text straight (a failed read leaves it empty, as it
            // was). Another is decoded into a buffer of our own and copied into the field's,
            // so that reading row after row into one record allocates nothing. NULL and a
            // damaged value fail like a failed conversion.
            if (field.isEmpty()) {
                row->text(c, field);
                return;
            }
            if (row->text(c, m_text)) {
                field.resize(0);
                field.append(m_text);
            }
            return;
        }
        row->value(c).toText(&field);
    };

    readInt(Id, record.id);
    readInt(LineId, record.line_id);
    readDate(RecordTimeStart, record.record_time_start);
    readInt(TalkedTime, record.talked_time);
    readInt(CallDirection, record.call_direction);
    readText(Context, record.context);
    readText(Fsk, record.fsk);
    readText(Dtmf, record.dtmf);
    readText(RecordFile, record.record_file);
    readText(Name, record.name);
    if (columns == Columns::ListOnly)
        return true;
    readDate(RecordTimeStop, record.record_time_stop);
    readInt(RecordTime, record.record_time);
    readInt(RingTime, record.ring_time);
    readInt(RecordType, record.record_type);
    readText(RecordDir, record.record_dir);
    readInt(RYear, record.ryear);
    readInt(RMonth, record.rmonth);
    readInt(RDay, record.rday);
    readText(Address, record.address);
    return true;
}
