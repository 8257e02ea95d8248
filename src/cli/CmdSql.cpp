#include "cli/CliCommands.h"
#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/CliUsage.h"
#include "cli/ProgressMeter.h"
#include "cli/TableWriter.h"
#include "cli/TerminalDesktop.h"
#include "db/ado/AdoDb.h"
#include "db/exec/JetRecordset.h"
#include "db/jet/ValueFormat.h"

#include <QCommandLineParser>

#include <charconv>

namespace Cli {

namespace {

// One value of a result row: NULL as NULL, dates without their raw form, numbers in the
// text Jet writes them in.
// `scratch` is reused from cell to cell, so that a listing allocates little.
void addValue(TableWriter &out, const jet::Value &v, QByteArray &scratch)
{
    scratch.resize(0);
    using K = jet::Value::Kind;
    switch (v.kind()) {
    case K::Null:
    case K::Error:
        out.addNull();
        return;
    case K::Boolean:
        out.addBoolean(v.toBool());
        return;
    case K::Integer: {
        char digits[24];
        const auto end = std::to_chars(digits, digits + sizeof digits, v.toInt64()).ptr;
        out.addNumberText(QByteArrayView(digits, end - digits));
        return;
    }
    case K::Currency:
        out.addNumberText(jet::ValueFormat::currency(v.currencyUnits()));
        return;
    case K::Single:
        out.addNumberText(jet::ValueFormat::shortestDouble(double(v.singleValue())));
        return;
    case K::Double:
        out.addNumberText(jet::ValueFormat::shortestDouble(v.toDouble()));
        return;
    case K::DateTime:
        jet::ValueFormat::appendCalendarTime(scratch, v.dateTimeDays());
        out.addText(scratch);
        return;
    case K::Text:
        out.addText(v.text().toUtf8());
        return;
    case K::Binary:
        out.addText(jet::ValueFormat::hex(v.bytes()));
        return;
    case K::Guid: {
        const auto bytes = v.guidBytes();
        out.addText(jet::ValueFormat::guid(bytes.data()));
        return;
    }
    case K::Decimal:
        out.addNumberText(jet::ValueFormat::decimal(v.decimalParts()));
        return;
    }
}

} // namespace

// Runs one statement through the same connection the query window uses.
int Sql(const QCommandLineParser &parser)
{
    if (parser.positionalArguments().size() != 2)
        return usageError(QStringLiteral("sql"), QStringLiteral("a database and one statement are needed"));
    OutputOptions output;
    QString error;
    if (!readOutputOptions(parser, &output, &error))
        return usageError(QStringLiteral("sql"), error);
    TerminalDesktop desktop;
    ScopedDesktop installed(&desktop);

    CAdoDb db;
    if (!db.OpenAccessDatabase(parser.positionalArguments().at(0), QString())) {
        printError(db.LastError());
        return ExitUsage;
    }
    if (db.ReadsRolledBack())
        printError(rolledBackNote(parser.positionalArguments().at(0)));
    if (!db.JournalLeftAlone().isEmpty())
        printError(QStringLiteral("warning: ") + db.JournalLeftAlone());
    std::shared_ptr<JetRecordset> result;
    if (!db.SqlExecute(result, parser.positionalArguments().at(1))) {
        printError(db.LastError());
        return ExitStatement;
    }
    if (!result)
        return ExitOk; // a delete prints nothing

    TableWriter out(output, result->columnNames(), true);
    ProgressMeter progress(QStringLiteral("rows"), ProgressMeter::wanted(parser, true));
    progress.setTotal(qint64(result->rowCount()));
    const int columns = result->table().columnCount();
    QByteArray scratch;
    for (; !result->isEof(); result->moveNext(nullptr)) {
        const jet::RowView *row = result->currentRow();
        if (!row)
            continue; // cannot be decoded: counted in the scan report, never printed as NULLs
        out.beginRow();
        for (int c = 0; c < columns; ++c)
            addValue(out, row->value(c), scratch);
        out.endRow();
        if (out.failed())
            return ExitProblem; // a full disk: main() says so; the rows after it are not read
        progress.advance();
    }
    out.finish();
    if (out.failed())
        return ExitProblem;
    return scanResult(result->scanReport());
}

} // namespace Cli
