#pragma once

#include "db/ado/AdoRecordBase.h"

#include <QString>

#include <array>

struct CallRecord;

// The cursor over table `record`: it knows the nineteen columns a call record is read from.
class CAdoRecordR : public CAdoRecordBase
{
public:
    explicit CAdoRecordR(CAdoDb *db);
    virtual ~CAdoRecordR();

    // Which columns GetRecord reads: all nineteen, or the ten the call list shows or needs
    // for its cells (id, line_id, record_time_start, talked_time, call_direction, context,
    // fsk, dtmf, record_file, name); a list of many rows skips the others.
    enum class Columns { All, ListOnly };

    // Reads the current row into `record`. Each column that is missing, NULL or cannot be
    // converted leaves its field as it was. False (record untouched) when there is no row,
    // or the row cannot be decoded at all (it is counted in the recordset's scan report).
    bool GetRecord(CallRecord &record, Columns columns = Columns::All);

    static constexpr int kColumnCount = 19;
    // The columns in the order they are read.
    static const std::array<const char *, kColumnCount> &ColumnNames();

private:
    // Positions of the nineteen columns in the current result (-1 when missing), looked up
    // once per result rather than once per row.
    std::array<int, kColumnCount> m_positions{};
    const JetRecordset *m_positionsFor = nullptr;
    QString m_text;
};
