#pragma once

#include <QString>

#include <cstdint>

// How completely a SELECT could read its table: the live rows its scan found against the
// row count the table keeps, the data pages the table's map lists past the end of the file,
// and rows that could no longer be decoded when they were read. A sound table reads whole;
// anything else means calls are missing from the result without the result showing it.
class ScanReport
{
public:
    ScanReport() = default;
    ScanReport(QString table, std::uint64_t rowsFound, std::uint64_t rowsCounted, std::uint32_t pagesLost)
        : m_table(std::move(table))
        , m_rowsFound(rowsFound)
        , m_rowsCounted(rowsCounted)
        , m_pagesLost(pagesLost)
    {}

    void addUnreadableRow() { ++m_rowsUnreadable; }

    bool isComplete() const { return m_pagesLost == 0 && m_rowsUnreadable == 0 && m_rowsFound == m_rowsCounted; }
    std::uint64_t rowsReadable() const { return m_rowsFound > m_rowsUnreadable ? m_rowsFound - m_rowsUnreadable : 0; }
    std::uint64_t rowsCounted() const { return m_rowsCounted; }
    // What was skipped, in one line for the command line's standard error.
    QString describe() const;

private:
    QString m_table;
    std::uint64_t m_rowsFound = 0;
    std::uint64_t m_rowsCounted = 0;
    std::uint32_t m_pagesLost = 0;
    std::uint64_t m_rowsUnreadable = 0;
};
