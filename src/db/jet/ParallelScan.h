#pragma once
// A table scan shared by the program's TaskPool. The data pages the owned map lists are cut
// into shares of kSharePages consecutive pages; the calling thread and the pool's threads
// that are free take the shares in ascending order, each reading its pages with a RowScanner and handing the
// rows to the caller's function together with the share's number. The caller keeps what it
// finds per share and joins the shares in their order, which is the order of a sequential
// scan; the file is still read once, front to back.
//
//     ParallelScan scan(file, table);
//     if (!scan.prepare(&error)) ...
//     std::vector<Found> found(scan.shareCount());
//     if (!scan.run([&](std::size_t share, RowScanner &rows) { while (rows.next()) ... }, &error)) ...
//
// The file and the table definition must outlive the scan; the function must be safe to
// call from several threads at once for different shares. Once the calling thread's request
// is cancelled (CancelToken), no further share is taken and run() fails.

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace jet {

class PageFile;
class RowScanner;
class TableDef;

class ParallelScan
{
public:
    static constexpr std::size_t kSharePages = 256;
    static constexpr unsigned kMaxThreads = 8;

    ParallelScan(const PageFile &file, const TableDef &table);

    // Reads the owned map. False (error set) when it is damaged.
    bool prepare(QString *error = nullptr);
    std::size_t shareCount() const;
    // Threads to use at most, the calling one included (never more than kMaxThreads, nor
    // more than the pool has free); 1 runs every share on the calling thread. Unset:
    // defaultThreadCount().
    void setThreadCount(unsigned threads) { m_threads = threads; }
    // ORVIK_SCAN_THREADS when it holds a positive number, else the machine's cores.
    static unsigned defaultThreadCount();

    // Calls `scanShare` once per share. False when a share's scanner failed (`error` then
    // holds the failure of the first such share, and the shares after it may not have run)
    // or the request was cancelled.
    bool run(const std::function<void(std::size_t share, RowScanner &rows)> &scanShare, QString *error = nullptr);

    // How complete the last run was, as RowScanner tells it: the live rows its shares
    // returned, and the pages the owned map lists past the end of the file.
    std::uint64_t rowsRead() const { return m_rowsRead; }
    std::uint32_t pagesPastTheEnd() const { return m_pagesPastTheEnd; }

private:
    const PageFile &m_file;
    const TableDef &m_table;
    std::vector<std::uint32_t> m_pages;
    unsigned m_threads = 0;
    std::uint64_t m_rowsRead = 0;
    std::uint32_t m_pagesPastTheEnd = 0;
};

} // namespace jet
