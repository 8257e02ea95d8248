#include "db/jet/TableDumper.h"

#include "db/jet/Column.h"
#include "db/jet/ErrorText.h"
#include "db/jet/RowScanner.h"
#include "db/jet/RowView.h"
#include "db/jet/TableDef.h"
#include "db/jet/Value.h"
#include "db/jet/ValueFormat.h"

#include <QIODevice>

#include <charconv>

namespace jet {

QByteArray TableDumper::headerLine(const TableDef &table)
{
    QByteArray line("rowid");
    for (const Column &col : table.columns()) {
        line.append('\t');
        line.append(col.name.toUtf8());
        line.append(':');
        line.append(Column::typeName(col.typeCode).toLatin1());
    }
    line.append('\n');
    return line;
}

bool TableDumper::cell(const Value &value, QByteArray &out, QString *error)
{
    switch (value.kind()) {
    case Value::Kind::Null:
        out.append("\\N");
        return true;
    case Value::Kind::Boolean:
        out.append(value.toBool() ? '1' : '0');
        return true;
    case Value::Kind::Integer: {
        char buf[24];
        const auto r = std::to_chars(buf, buf + sizeof buf, value.toInt64());
        out.append(buf, int(r.ptr - buf));
        return true;
    }
    case Value::Kind::Currency:
        ValueFormat::appendCurrency(out, value.currencyUnits());
        return true;
    case Value::Kind::Single:
        ValueFormat::appendShortestDouble(out, double(value.singleValue()));
        return true;
    case Value::Kind::Double:
        ValueFormat::appendShortestDouble(out, value.toDouble());
        return true;
    case Value::Kind::DateTime:
        ValueFormat::appendDateTime(out, value.dateTimeDays());
        return true;
    case Value::Kind::Text:
        ValueFormat::appendEscapedText(out, value.text());
        return true;
    case Value::Kind::Binary:
        out.append(ValueFormat::hex(value.bytes()));
        return true;
    case Value::Kind::Guid: {
        const auto bytes = value.guidBytes();
        out.append(ValueFormat::guid(bytes.data()));
        return true;
    }
    case Value::Kind::Decimal:
        out.append(ValueFormat::decimal(value.decimalParts()));
        return true;
    case Value::Kind::Error:
        setError(error, value.errorText());
        return false;
    }
    return false;
}

bool TableDumper::rowLine(const RowView &row, QByteArray &line, QString *error)
{
    const RowId id = row.rowId();
    line.append(QByteArray::number(id.page));
    line.append(':');
    line.append(QByteArray::number(id.slot));
    QString text;
    const TableDef &table = row.table();
    for (int c = 0; c < row.columnCount(); ++c) {
        line.append('\t');
        if (table.column(c).type() == ColumnType::Text) {
            // The common case, without a Value in between.
            QString why;
            if (row.text(c, text, &why)) {
                ValueFormat::appendEscapedText(line, text);
                continue;
            }
            if (!why.isEmpty()) {
                setError(error, why);
                return false;
            }
            line.append("\\N");
            continue;
        }
        if (!cell(row.value(c), line, error))
            return false;
    }
    line.append('\n');
    return true;
}

bool TableDumper::dump(const PageFile &file, const TableDef &table, QIODevice &out, QString *error)
{
    QByteArray buffer = headerLine(table);
    RowScanner scan(file, table);
    while (scan.next()) {
        if (!rowLine(scan.row(), buffer, error))
            return false;
        if (buffer.size() >= (1 << 16)) {
            if (out.write(buffer) != buffer.size()) {
                setError(error, QStringLiteral("cannot write the dump: %1").arg(out.errorString()));
                return false;
            }
            buffer.clear();
        }
    }
    if (scan.hasError()) {
        setError(error, scan.error());
        return false;
    }
    if (out.write(buffer) != buffer.size()) {
        setError(error, QStringLiteral("cannot write the dump: %1").arg(out.errorString()));
        return false;
    }
    return true;
}

} // namespace jet
