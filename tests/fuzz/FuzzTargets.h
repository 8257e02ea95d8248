#pragma once
// The work one fuzz input drives, shared by the libFuzzer targets (fuzz_jetfile, fuzz_sql)
// and by tst_fuzzregressions, which replays the kept inputs through the very same calls
// with the regular compiler. Every function here must end, whatever the input, without
// touching memory it does not own; what it answers does not matter.

#include "db/exec/JetConnection.h"
#include "db/exec/JetRecordset.h"
#include "db/jet/Checker.h"
#include "db/jet/Column.h"
#include "db/jet/Database.h"
#include "db/jet/RowFetcher.h"
#include "db/jet/RowScanner.h"
#include "db/jet/TableDumper.h"
#include "db/jet/Value.h"
#include "db/sql/SqlError.h"
#include "db/sql/SqlLexer.h"
#include "db/sql/SqlStatement.h"

// Relative, so that the fuzz targets, built without the tests folder on the include path,
// find it too.
#include "../common/TestFiles.h"

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

#include <cstdint>
#include <vector>

namespace orvikfuzz {

// Bounds on the work per input, so that one input takes milliseconds, not seconds.
constexpr int kMaxTables = 8;
constexpr int kMaxScannedRows = 2000;
constexpr int kMaxFetchedRows = 300;
constexpr int kMaxRecordsetRows = 50;

// Swallows what the dumper writes.
class NullDevice : public QIODevice
{
public:
    NullDevice() { open(QIODevice::WriteOnly); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *, qint64 length) override { return length; }
};

// A sum of what was read, so that nothing the harness decodes can be optimised away.
struct Tally
{
    std::uint64_t sum = 0;
    void add(std::uint64_t v) { sum = sum * 31 + v; }
    void add(const jet::Value &value)
    {
        add(std::uint64_t(value.kind()));
        add(std::uint64_t(value.text().size()));
        add(std::uint64_t(value.bytes().size()));
        add(std::uint64_t(value.toInt64()));
    }
};

// The nineteen columns of the call-record table, as binding sees them.
inline std::vector<sql::ColumnInfo> callRecordColumns()
{
    using sql::SqlType;
    return {
        {QStringLiteral("id"), SqlType::Number},
        {QStringLiteral("line_id"), SqlType::Number},
        {QStringLiteral("record_time_start"), SqlType::Date},
        {QStringLiteral("record_time_stop"), SqlType::Date},
        {QStringLiteral("record_time"), SqlType::Number},
        {QStringLiteral("ring_time"), SqlType::Number},
        {QStringLiteral("talked_time"), SqlType::Number},
        {QStringLiteral("record_type"), SqlType::Number},
        {QStringLiteral("call_direction"), SqlType::Number},
        {QStringLiteral("context"), SqlType::Text},
        {QStringLiteral("fsk"), SqlType::Text},
        {QStringLiteral("dtmf"), SqlType::Text},
        {QStringLiteral("record_file"), SqlType::Text},
        {QStringLiteral("record_dir"), SqlType::Text},
        {QStringLiteral("ryear"), SqlType::Number},
        {QStringLiteral("rmonth"), SqlType::Number},
        {QStringLiteral("rday"), SqlType::Number},
        {QStringLiteral("name"), SqlType::Text},
        {QStringLiteral("address"), SqlType::Text},
    };
}

// A call record held in memory, column by column.
class MemoryRow : public sql::RowSource
{
public:
    explicit MemoryRow(std::vector<sql::SqlValue> values) : m_values(std::move(values)) {}
    sql::SqlValue value(int column) const override
    {
        if (column < 0 || std::size_t(column) >= m_values.size())
            return sql::SqlValue::null();
        return m_values[std::size_t(column)];
    }

private:
    std::vector<sql::SqlValue> m_values;
};

inline std::vector<MemoryRow> sampleRows()
{
    using sql::SqlValue;
    auto n = [](double v) { return SqlValue::fromNumber(v); };
    auto d = [](double v) { return SqlValue::fromDate(v); };
    auto t = [](const char16_t *s) { return SqlValue::fromText(QString::fromUtf16(s)); };
    std::vector<MemoryRow> rows;
    // An ordinary incoming call.
    rows.emplace_back(std::vector<SqlValue>{n(1), n(2), d(40148.5), d(40148.51), n(60), n(5), n(55), n(0), n(0),
                                            t(u"vip client"), t(u"13812345678"), t(u"1#"), t(u"20091201120000.wav"),
                                            t(u"2009-12"), n(2009), n(12), n(1), t(u"Li Wei"), t(u"Main St. 1")});
    // A missed call with empty and NULL fields.
    rows.emplace_back(std::vector<SqlValue>{n(-3), n(0), d(-1.25), SqlValue::null(), n(0), n(0), n(0), n(1), n(0),
                                            t(u""), t(u""), SqlValue::null(), t(u"DEL"), SqlValue::null(), n(-1), n(-1),
                                            n(-1), t(u"O'Brien"), SqlValue::null()});
    // Every column NULL.
    rows.emplace_back(std::vector<SqlValue>(19));
    // Text beyond Latin-1, case pairs and the wildcard characters themselves.
    rows.emplace_back(std::vector<SqlValue>{n(2147483647.0), n(1e300), d(2958465.99999), d(0), n(-0.0), n(1), n(2),
                                            n(3), n(1), t(u"50% off_deal [x]"), t(u"+86 (10) 1234"), t(u"*#"),
                                            t(u"\u00c4rger.wav"), t(u"\u0130"), n(9999), n(13), n(32),
                                            t(u"\u00dfTRASSE \U0001F600"), t(u"\u4e2d\u6587")});
    return rows;
}

// What one input came to: a sum of everything read (the same input gives the same sum),
// and whether a DELETE ran on a connection opened read-only, which would be a fault.
struct Outcome
{
    std::uint64_t sum = 0;
    bool deleteAccepted = false;
};

// Parses, binds and evaluates one statement against the in-memory rows, then runs it on
// the connection (opened read-only, so deletes are refused and nothing changes) and reads
// the first rows of the result.
inline Outcome exerciseStatement(const QString &text, JetConnection *connection)
{
    Outcome outcome;
    Tally tally;
    tally.add(std::uint64_t(sql::tokenize(text).size()));
    double days = 0;
    tally.add(std::uint64_t(sql::parseDateLiteral(text, &days)));

    sql::Statement statement;
    sql::SqlError error;
    const bool parsed = sql::parse(text, &statement, &error);
    if (parsed) {
        static const std::vector<sql::ColumnInfo> columns = callRecordColumns();
        if (statement.bind(columns, &error)) {
            static const std::vector<MemoryRow> rows = sampleRows();
            for (const MemoryRow &row : rows)
                tally.add(std::uint64_t(statement.matches(row)));
            tally.add(std::uint64_t(statement.referencedColumns().size()));
        }
    }
    tally.add(std::uint64_t(error.hresult));

    if (connection && connection->isOpen()) {
        std::shared_ptr<JetRecordset> recordset;
        sql::SqlError runError;
        const bool ran = connection->execute(text, &recordset, &runError);
        if (ran && parsed && statement.kind == sql::Statement::Kind::Delete
            && connection->mode() != JetConnection::Mode::ReadWrite)
            outcome.deleteAccepted = true;
        if (ran && recordset) {
            jet::Value value;
            for (int r = 0; r < kMaxRecordsetRows && !recordset->isEof(); ++r) {
                for (int c = 0; c < recordset->table().columnCount(); ++c)
                    if (recordset->value(c, &value))
                        tally.add(value);
                QString ignored;
                recordset->moveNext(&ignored);
            }
        }
        tally.add(std::uint64_t(runError.hresult));
    }
    outcome.sum = tally.sum;
    return outcome;
}

// The Jet 3 code page an input is read with: its last byte picks one, so that the fuzzer
// also reaches the multi-byte code pages of East Asian backups. 0 keeps the file's own.
inline int codePageFor(const QByteArray &bytes)
{
    static const int kCodePages[] = {0, 0, 936, 950, 932, 949, 1251, 1252};
    return bytes.isEmpty() ? 0 : kCodePages[std::uint8_t(bytes.back()) & 7u];
}

// Everything a user's command does with a database file, read-only: open, list the user
// tables, read each definition, scan and decode every column, fetch rows by id (those the
// scan found and some it did not), dump, and check. `codePage` overrides the Jet 3 code
// page unless it is 0.
inline Outcome exerciseJetFile(const QString &path, int codePage)
{
    Outcome outcome;
    Tally tally;
    QString password;
    QStringList tables; // the user tables read, and the first column of each
    QStringList firstColumns;
    QStringList indexed; // statements an index of a table can answer (its first column)
    {                    // the database is closed before the connection opens the file
        jet::Database db;
        QString error;
        if (!db.open(path, jet::PageFile::OpenMode::ReadOnly, &error))
            return outcome;
        password = db.file().password();
        db.file().setCodePageOverride(codePage);
        tally.add(std::uint64_t(db.catalog().objectCount()));

        const QStringList names = db.userTableNames();
        int tablesDone = 0;
        for (const QString &name : names) {
            if (++tablesDone > kMaxTables)
                break;
            const auto table = db.table(name, &error);
            if (!table)
                continue;
            if (table->columnCount() > 0) {
                tables << name;
                firstColumns << table->column(0).name;
            }
            tally.add(std::uint64_t(table->columnCount()));
            for (const jet::Column &c : table->columns())
                tally.add(std::uint64_t(c.name.size()));
            tally.add(std::uint64_t(table->columnIndex(name)));
            for (const jet::PhysicalIndex &index : table->physicalIndexes()) {
                if (index.keyColumns.empty() || index.keyColumns.front().column < 0
                    || index.keyColumns.front().column >= table->columnCount() || indexed.size() >= 4 * kMaxTables)
                    continue;
                const jet::Column &c = table->column(index.keyColumns.front().column);
                const QString from = QStringLiteral("select * from [%1] where [%2] ").arg(name, c.name);
                if (c.isText())
                    indexed << from + QStringLiteral("= '13812345678'") << from + QStringLiteral("= 'a B'");
                else
                    indexed << from + QStringLiteral(">= -1 and [%1] <= 40000.5 order by [%1] desc").arg(c.name)
                            << from + QStringLiteral("= 1")
                            << QStringLiteral("select * from [%1] order by [%2]").arg(name, c.name);
            }

            // Scan, decoding every column the ways the callers do.
            std::vector<jet::RowId> ids;
            {
                jet::RowScanner scan(db.file(), *table);
                QString text;
                int rows = 0;
                while (rows < kMaxScannedRows && scan.next()) {
                    ++rows;
                    const jet::RowView &row = scan.row();
                    if (ids.size() < std::size_t(kMaxFetchedRows))
                        ids.push_back(scan.rowId());
                    for (int c = 0; c < row.columnCount(); ++c) {
                        tally.add(row.value(c));
                        tally.add(std::uint64_t(row.isNull(c)));
                        std::int64_t i = 0;
                        double d = 0;
                        tally.add(std::uint64_t(row.integer(c, &i)));
                        tally.add(std::uint64_t(row.real(c, &d)));
                        tally.add(std::uint64_t(row.dateTime(c, &d)));
                        tally.add(std::uint64_t(row.text(c, text)));
                        const std::uint8_t *bytes = nullptr;
                        int length = 0;
                        if (row.rawBytes(c, &bytes, &length) && length > 0)
                            tally.add(std::uint64_t(bytes[0]) + std::uint64_t(bytes[length - 1]));
                    }
                    // A position past the row's columns answers NULL.
                    tally.add(row.value(row.columnCount()));
                }
                tally.add(std::uint64_t(scan.hasError()));
                // Ids the scan did not report: slot 0 and a far slot of every owned page.
                const std::vector<std::uint32_t> &pages = scan.pages();
                for (std::size_t p = 0; p < pages.size() && ids.size() < std::size_t(2 * kMaxFetchedRows); ++p) {
                    ids.push_back({pages[p], 0});
                    ids.push_back({pages[p], 255});
                }
                ids.push_back({0, 0});
                ids.push_back({db.file().pageCount(), 0});
                ids.push_back({0xFFFFFFu, 0xFFu});
            }

            jet::RowFetcher fetcher(db.file(), *table);
            for (const jet::RowId &id : ids) {
                if (!fetcher.fetch(id))
                    continue;
                const jet::RowView &row = fetcher.row();
                for (int c = 0; c < row.columnCount(); ++c)
                    tally.add(row.value(c));
            }

            NullDevice sink;
            tally.add(std::uint64_t(jet::TableDumper::dump(db.file(), *table, sink, &error)));
            tally.add(std::uint64_t(jet::Checker::checkTable(db.file(), *table).size()));
        }
    }

    // The way the call list reads a backup: a read-only, exclusive connection, a SELECT
    // with a condition and an ordering, the recordset read row by row; a DELETE refused.
    JetConnection connection;
    sql::SqlError sqlError;
    if (!tables.isEmpty() && connection.open(path, password, JetConnection::Mode::ReadOnlyExclusive, &sqlError)) {
        for (qsizetype t = 0; t < tables.size(); ++t) {
            const QString &name = tables[t];
            const QString &column = firstColumns[t];
            const QString statements[] = {
                QStringLiteral("select * from [%1] order by [%2] desc").arg(name, column),
                QStringLiteral("select * from [%1] where [%2] is not null").arg(name, column),
                QStringLiteral("delete from [%1]").arg(name),
            };
            for (const QString &text : statements) {
                const Outcome run = exerciseStatement(text, &connection);
                tally.add(run.sum);
                outcome.deleteAccepted = outcome.deleteAccepted || run.deleteAccepted;
            }
        }
        // The index roads, taken wherever an index applies however large its range: ranges
        // read from damaged trees, rows fetched by the pointers they hold, index order.
        connection.setPaths(RowCollector::Paths::PreferIndexes);
        for (const QString &text : indexed) {
            const Outcome run = exerciseStatement(text, &connection);
            tally.add(run.sum);
        }
    }
    outcome.sum = tally.sum;
    return outcome;
}

} // namespace orvikfuzz
