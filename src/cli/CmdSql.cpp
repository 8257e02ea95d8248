#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/TerminalDesktop.h"
#include "db/AdoDb.h"
#include "db/JetRecordset.h"
#include "db/jet/ValueFormat.h"

#include <QCommandLineParser>

namespace Cli {

namespace {

// One value of a result row: NULL as \N, dates without their raw form, text escaped.
void appendValue(QByteArray &line, const jet::Value &v)
{
    using K = jet::Value::Kind;
    switch (v.kind()) {
    case K::Null:
    case K::Error:
        line += "\\N";
        return;
    case K::Boolean:
        line += v.toBool() ? "1" : "0";
        return;
    case K::Integer:
        line += QByteArray::number(qlonglong(v.toInt64()));
        return;
    case K::Currency:
        line += jet::ValueFormat::currency(v.currencyUnits());
        return;
    case K::Single:
        line += jet::ValueFormat::shortestDouble(double(v.singleValue()));
        return;
    case K::Double:
        line += jet::ValueFormat::shortestDouble(v.toDouble());
        return;
    case K::DateTime: {
        const QByteArray both = jet::ValueFormat::dateTime(v.dateTimeDays());
        line += both.left(both.indexOf('|'));
        return;
    }
    case K::Text:
        appendEscaped(line, v.text());
        return;
    case K::Binary:
        line += jet::ValueFormat::hex(v.bytes());
        return;
    case K::Guid: {
        const auto bytes = v.guidBytes();
        line += jet::ValueFormat::guid(bytes.data());
        return;
    }
    case K::Decimal:
        line += jet::ValueFormat::decimal(v.decimalParts());
        return;
    }
}

} // namespace

// Runs one statement through the same connection the query window uses.
int Sql(const QStringList &args)
{
    QCommandLineParser parser;
    if (!parseArguments(parser, QStringLiteral("sql"), args) || parser.positionalArguments().size() != 2)
        return usageError(QStringLiteral("sql"));
    TerminalDesktop desktop;
    ScopedDesktop installed(&desktop);

    CAdoDb db;
    if (!db.OpenAccessDatabase(parser.positionalArguments().at(0), QString())) {
        printError(db.LastError());
        return ExitUsage;
    }
    std::shared_ptr<JetRecordset> result;
    if (!db.SqlExecute(result, parser.positionalArguments().at(1))) {
        printError(db.LastError());
        return ExitStatement;
    }
    if (!result)
        return ExitOk; // a delete prints nothing

    LineWriter out;
    out.writeFields(result->columnNames());
    const int columns = result->table().columnCount();
    QByteArray line;
    for (; !result->isEof(); result->moveNext(nullptr)) {
        const jet::RowView *row = result->currentRow();
        if (!row)
            continue; // cannot be decoded: counted in the scan report, never printed as NULLs
        line.clear();
        for (int c = 0; c < columns; ++c) {
            if (c)
                line += '\t';
            appendValue(line, row->value(c));
        }
        out.writeRaw(line);
    }
    return scanResult(result->scanReport());
}

} // namespace Cli
