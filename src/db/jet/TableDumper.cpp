#include "db/jet/TableDumper.h"

#include "db/jet/Column.h"
#include "db/jet/RowScanner.h"
#include "db/jet/RowView.h"
#include "db/jet/TableDef.h"
#include "db/jet/Value.h"
#include "db/jet/ValueFormat.h"

#include <QIODevice>

namespace jet {

namespace {

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

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
    case Value::Kind::Integer:
        out.append(QByteArray::number(qint64(value.toInt64())));
        return true;
    case Value::Kind::Currency:
        out.append(ValueFormat::currency(value.currencyUnits()));
        return true;
    case Value::Kind::Single:
        out.append(ValueFormat::shortestDouble(double(value.singleValue())));
        return true;
    case Value::Kind::Double:
        out.append(ValueFormat::shortestDouble(value.toDouble()));
        return true;
    case Value::Kind::DateTime:
        out.append(ValueFormat::dateTime(value.dateTimeDays()));
        return true;
    case Value::Kind::Text:
        out.append(ValueFormat::escapedText(value.text()));
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
    for (int c = 0; c < row.columnCount(); ++c) {
        line.append('\t');
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
