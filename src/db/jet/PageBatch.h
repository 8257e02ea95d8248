#pragma once
// The pages one write transaction reads and changes, held in memory: each page is read
// from the file once, keeps its original bytes beside the working copy, and is handed to
// the journal and written once at commit, however often the transaction touched it.
//
//     PageBatch batch(file);
//     std::uint8_t *p = batch.modify(7, &error);   // read (once) and mark for writing
//     ... change p ...
//     Journal::commit(file, batch.changes(), &error);

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <vector>

namespace jet {

class PageFile;

class PageBatch
{
public:
    struct Change
    {
        std::uint32_t page = 0;
        QByteArray original;
        QByteArray current;
    };

    explicit PageBatch(const PageFile &file) : m_file(file) {}

    // The working copy of `page`, read from the file on first use; null on a read error.
    // A page obtained with modify() is a candidate for writing; read() does not mark it.
    const std::uint8_t *read(std::uint32_t page, QString *error = nullptr);
    std::uint8_t *modify(std::uint32_t page, QString *error = nullptr);

    // The page's working copy if this batch holds it, else reads it into `scratch` without
    // keeping it (for walks over many pages that are only looked at).
    const std::uint8_t *peek(std::uint32_t page, std::vector<std::uint8_t> &scratch, QString *error = nullptr) const;

    bool holds(std::uint32_t page) const { return m_pages.count(page) != 0; }
    // Pages marked for writing whose bytes really differ from the original, ascending.
    std::vector<Change> changes() const;
    void clear() { m_pages.clear(); }

private:
    struct Image
    {
        QByteArray original;
        QByteArray current;
        bool marked = false;
    };
    Image *load(std::uint32_t page, QString *error);

    const PageFile &m_file;
    std::map<std::uint32_t, Image> m_pages;
};

} // namespace jet
