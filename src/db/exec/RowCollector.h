#pragma once

#include "db/exec/ScanReport.h"
#include "db/jet/RowId.h"
#include "db/sql/SqlValue.h"

#include <QString>

#include <cstdint>
#include <vector>

class OrderKeys;
namespace jet {
class PageFile;
class TableDef;
} // namespace jet
namespace sql {
struct IndexPath;
struct Statement;
} // namespace sql

// Finds the rows a bound SELECT or DELETE selects, in the statement's order (a DELETE, which
// has none, gets them in the table's order). Three roads lead there:
//   - an index range (AccessPlanner) that holds at most a kIndexShare-th of the table's rows:
//     its rows are read by their row ids, in page order, and tested against the whole
//     condition; when the index also gives the ORDER BY order, nothing is sorted;
//   - a scan whose pages a small pool of threads decodes (ParallelScan) otherwise;
//   - for a large result of a scan, the order of an index over the ORDER BY column instead of
//     a sort.
// Every road gives the same rows in the same order: rows with equal ORDER BY values in the
// order of the table. An index found damaged on the way (a loop, entries out of order, an
// entry pointing at a row that does not exist, one row twice) is left for the scan or the
// sort, with a trace line.
class RowCollector
{
public:
    enum class Paths {
        Choose,        // an index where the estimate favours it
        ScanOnly,      // never an index (ORVIK_FORCE_SCAN=1 sets this)
        PreferIndexes, // an index wherever one applies, whatever its size (for tests)
    };
    // An index range is read when it holds at most this share of the rows; the order of an
    // index replaces the sort when the result holds at least this share.
    static constexpr std::uint32_t kIndexShare = 5;

    // The file, the table, the statement and the column types must outlive the collector.
    RowCollector(const jet::PageFile &file, const jet::TableDef &table, const sql::Statement &statement,
                 const std::vector<sql::SqlType> &types);

    void setPaths(Paths paths) { m_paths = paths; }
    // The paths ORVIK_FORCE_SCAN asks for: ScanOnly when it is set to anything but 0.
    static Paths pathsFromEnvironment();

    // The selected rows. False (error set) when the table's rows cannot be read.
    bool collect(std::vector<jet::RowId> *rows, QString *error);
    // How the rows were found, for the trace and the tests: "scan", "index 1", and
    // ", index 2 order" when an index gave the order of a scan's rows.
    const QString &road() const { return m_road; }
    // How completely the table could be read. A scan counts the live rows it met against
    // the table's row count; an index road reads only the rows it leads to, so it reports
    // just the data pages the table's map lists past the end of the file (a row it leads to
    // that cannot be read sends the statement to the scan).
    const ScanReport &report() const { return m_report; }

private:
    // Reads the best index range within the estimate; false when none applies or all of
    // them are too large or damaged.
    bool collectByIndex(std::vector<jet::RowId> *rows);
    bool fetchCandidates(const sql::IndexPath &path, const std::vector<jet::RowId> &candidates,
                         std::vector<jet::RowId> *rows, QString *damage);
    bool collectByScan(std::vector<jet::RowId> *rows, OrderKeys *keys, QString *error);
    // Puts `rows` (in table order, `keys` alongside) into the ORDER BY order.
    void order(std::vector<jet::RowId> *rows, const OrderKeys &keys);
    // The positions of `rows` in the order of the ORDER BY index; false when the index does
    // not hold exactly these rows or is damaged.
    bool indexOrder(const sql::IndexPath &path, const std::vector<jet::RowId> &rows,
                    std::vector<std::uint32_t> *positions, QString *damage);
    void leaveIndex(int index, const QString &why);

    const jet::PageFile &m_file;
    const jet::TableDef &m_table;
    const sql::Statement &m_statement;
    const std::vector<sql::SqlType> &m_types;
    Paths m_paths = Paths::Choose;
    QString m_road;
    ScanReport m_report;
};
