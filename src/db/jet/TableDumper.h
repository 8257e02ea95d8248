#pragma once
// Writes a table as tab-separated text: a header line "rowid" + "name:TYPE" per column,
// then one line per live row in scan order, starting with the row id "page:slot". NULL is
// \N; text is escaped; numbers, dates, GUIDs and bytes are written by ValueFormat. This is
// the format of the reference dumps the tests compare against, and orvik-cli's dump.

#include <QByteArray>
#include <QString>

class QIODevice;

namespace jet {

struct Column;
class PageFile;
class RowView;
class TableDef;
class Value;

class TableDumper
{
public:
    // Dumps every live row. Fails on a damaged row or value (the error names it) or when
    // the device refuses to write.
    static bool dump(const PageFile &file, const TableDef &table, QIODevice &out, QString *error = nullptr);

    static QByteArray headerLine(const TableDef &table);
    // One row's line, with the trailing LF. False for a damaged value.
    static bool rowLine(const RowView &row, QByteArray &line, QString *error = nullptr);
    // One cell; false for a damaged value.
    static bool cell(const Value &value, QByteArray &out, QString *error = nullptr);
};

} // namespace jet
