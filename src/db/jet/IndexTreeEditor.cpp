#include "db/jet/IndexTreeEditor.h"

#include "db/jet/ErrorText.h"
#include "db/jet/PageBatch.h"

#include <algorithm>
#include <cstring>

namespace jet {

IndexTreeEditor::IndexTreeEditor(PageBatch &batch, Format format, int pageSize, std::uint32_t rootPage)
    : m_batch(batch)
    , m_format(format)
    , m_pageSize(pageSize)
    , m_root(rootPage)
{}

IndexPage *IndexTreeEditor::page(std::uint32_t number, QString *error)
{
    auto it = m_pages.find(number);
    if (it != m_pages.end())
        return &it->second;
    if (number < 3) {
        setError(error, QStringLiteral("the index points to page %1, which cannot be an index page").arg(number));
        return nullptr;
    }
    QString why;
    const std::uint8_t *bytes = m_batch.read(number, &why);
    IndexPage decoded;
    if (!bytes || !decoded.decode(m_format, m_pageSize, bytes, &why)) {
        setError(error, QStringLiteral("index page %1: %2").arg(number).arg(why));
        return nullptr;
    }
    return &m_pages.emplace(number, std::move(decoded)).first->second;
}

int IndexTreeEditor::descend(const QByteArray &entry, std::vector<Step> *path, std::uint32_t *leaf, int *index,
                             QString *error)
{
    path->clear();
    std::uint32_t current = m_root;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        IndexPage *p = page(current, error);
        if (!p)
            return -1;
        if (p->isLeaf()) {
            // Entries are sorted; find the first one not below the wanted bytes.
            const auto it = std::lower_bound(p->entries.begin(), p->entries.end(), entry,
                                             [](const IndexPage::Entry &e, const QByteArray &want) {
                                                 return IndexPage::compareEntryBytes(e.bytes, want) < 0;
                                             });
            if (it == p->entries.end() || it->bytes != entry)
                return 0;
            *leaf = current;
            *index = int(it - p->entries.begin());
            return 1;
        }
        // The first entry whose subtree ends at or after the wanted bytes leads to it; past
        // the last entry only the tail can hold it.
        int chosen = -1;
        for (std::size_t i = 0; i < p->entries.size(); ++i) {
            if (IndexPage::compareEntryBytes(p->entries[i].bytes, entry) >= 0) {
                chosen = int(i);
                break;
            }
        }
        std::uint32_t next;
        if (chosen >= 0)
            next = p->entries[std::size_t(chosen)].child;
        else if (p->tail != 0)
            next = p->tail;
        else
            return 0;
        path->push_back(Step{current, chosen});
        current = next;
    }
    setError(error, QStringLiteral("the index tree below page %1 is deeper than %2 levels").arg(m_root).arg(kMaxDepth));
    return -1;
}

int IndexTreeEditor::walk(std::uint32_t pageNo, int depth, RowId row, std::vector<Step> *path, std::uint32_t *leaf,
                          int *index, std::set<std::uint32_t> &visited, QString *error)
{
    if (depth >= kMaxDepth) {
        setError(error,
                 QStringLiteral("the index tree below page %1 is deeper than %2 levels").arg(m_root).arg(kMaxDepth));
        return -1;
    }
    if (!visited.insert(pageNo).second) {
        setError(error, QStringLiteral("index page %1 is reached twice (the tree loops)").arg(pageNo));
        return -1;
    }
    auto cached = m_pages.find(pageNo);
    if (cached == m_pages.end()) {
        // A leaf nobody changed is searched in its raw bytes, without keeping it.
        QString why;
        const std::uint8_t *bytes = m_batch.peek(pageNo, m_scratch, &why);
        if (!bytes) {
            setError(error, QStringLiteral("index page %1: %2").arg(pageNo).arg(why));
            return -1;
        }
        if (bytes[0] == IndexPage::kLeaf) {
            const int found = IndexPage::findRowInLeaf(m_format, m_pageSize, bytes, row, &why);
            if (found == -2) {
                setError(error, QStringLiteral("index page %1: %2").arg(pageNo).arg(why));
                return -1;
            }
            if (found < 0)
                return 0;
            *leaf = pageNo;
            *index = found;
            return 1;
        }
    }
    IndexPage *p = page(pageNo, error);
    if (!p)
        return -1;
    if (p->isLeaf()) {
        for (std::size_t i = 0; i < p->entries.size(); ++i) {
            if (p->entries[i].rowId() == row) {
                *leaf = pageNo;
                *index = int(i);
                return 1;
            }
        }
        return 0;
    }
    // Copy the children: deeper calls may add pages to the cache.
    std::vector<std::uint32_t> children;
    children.reserve(p->entries.size() + 1);
    for (const auto &e : p->entries)
        children.push_back(e.child);
    const std::uint32_t tail = p->tail;
    for (std::size_t i = 0; i <= children.size(); ++i) {
        const bool isTail = i == children.size();
        if (isTail && tail == 0)
            break;
        path->push_back(Step{pageNo, isTail ? -1 : int(i)});
        const int r = walk(isTail ? tail : children[i], depth + 1, row, path, leaf, index, visited, error);
        if (r != 0)
            return r;
        path->pop_back();
    }
    return 0;
}

bool IndexTreeEditor::findEntries(const std::unordered_set<std::uint32_t> &rowPointers,
                                  std::unordered_map<std::uint32_t, QByteArray> *entries, QString *error)
{
    entries->clear();
    if (rowPointers.empty())
        return true;
    std::set<std::uint32_t> visited;
    return collect(m_root, 0, rowPointers, entries, visited, error);
}

bool IndexTreeEditor::collect(std::uint32_t pageNo, int depth, const std::unordered_set<std::uint32_t> &rowPointers,
                              std::unordered_map<std::uint32_t, QByteArray> *entries, std::set<std::uint32_t> &visited,
                              QString *error)
{
    if (entries->size() == rowPointers.size())
        return true; // all found
    if (depth >= kMaxDepth) {
        setError(error,
                 QStringLiteral("the index tree below page %1 is deeper than %2 levels").arg(m_root).arg(kMaxDepth));
        return false;
    }
    if (!visited.insert(pageNo).second) {
        setError(error, QStringLiteral("index page %1 is reached twice (the tree loops)").arg(pageNo));
        return false;
    }
    if (m_pages.find(pageNo) == m_pages.end()) {
        QString why;
        const std::uint8_t *bytes = m_batch.peek(pageNo, m_scratch, &why);
        if (!bytes) {
            setError(error, QStringLiteral("index page %1: %2").arg(pageNo).arg(why));
            return false;
        }
        if (bytes[0] == IndexPage::kLeaf) {
            // Only the row pointers of a leaf nobody changed are looked at; the page is
            // decoded in full only when it holds one of the rows.
            if (!IndexPage::leafRowIds(m_format, m_pageSize, bytes, &m_rowIds, &why)) {
                setError(error, QStringLiteral("index page %1: %2").arg(pageNo).arg(why));
                return false;
            }
            bool any = false;
            for (const RowId &id : m_rowIds) {
                if (rowPointers.count(id.toPointer())) {
                    any = true;
                    break;
                }
            }
            if (!any)
                return true;
            IndexPage leaf;
            if (!leaf.decode(m_format, m_pageSize, bytes, &why)) {
                setError(error, QStringLiteral("index page %1: %2").arg(pageNo).arg(why));
                return false;
            }
            for (const auto &e : leaf.entries) {
                const std::uint32_t pointer = e.rowId().toPointer();
                if (rowPointers.count(pointer))
                    entries->emplace(pointer, e.bytes);
            }
            return true;
        }
    }
    IndexPage *p = page(pageNo, error);
    if (!p)
        return false;
    if (p->isLeaf()) {
        for (const auto &e : p->entries) {
            const std::uint32_t pointer = e.rowId().toPointer();
            if (rowPointers.count(pointer))
                entries->emplace(pointer, e.bytes);
        }
        return true;
    }
    std::vector<std::uint32_t> children;
    children.reserve(p->entries.size() + 1);
    for (const auto &e : p->entries)
        children.push_back(e.child);
    if (p->tail != 0)
        children.push_back(p->tail);
    for (const std::uint32_t child : children) {
        if (!collect(child, depth + 1, rowPointers, entries, visited, error))
            return false;
    }
    return true;
}

bool IndexTreeEditor::remove(RowId row, const QByteArray *entry, QString *error)
{
    std::vector<Step> path;
    std::uint32_t leafNo = 0;
    int index = -1;
    int found = 0;
    if (entry) {
        found = descend(*entry, &path, &leafNo, &index, error);
        if (found < 0)
            return false;
        if (found > 0)
            ++m_descents;
    }
    if (found == 0) {
        path.clear();
        std::set<std::uint32_t> visited;
        found = walk(m_root, 0, row, &path, &leafNo, &index, visited, error);
        if (found < 0)
            return false;
        if (found == 0) {
            setError(
                error,
                QStringLiteral("the index with root page %1 has no entry for row %2").arg(m_root).arg(row.toString()));
            return false;
        }
        ++m_walks;
    }

    IndexPage *leaf = page(leafNo, error);
    if (!leaf)
        return false;
    const bool wasLast = index == int(leaf->entries.size()) - 1;
    leaf->entries.erase(leaf->entries.begin() + index);
    touch(leafNo);
    if (leaf->entries.empty()) {
        if (path.empty())
            return true; // the root leaf is simply empty now
        return removeChild(path, int(path.size()) - 1, leafNo, error);
    }
    if (wasLast)
        return propagateLast(path, int(path.size()) - 1, leaf->entries.back().bytes, error);
    return true;
}

bool IndexTreeEditor::removeChild(const std::vector<Step> &path, int level, std::uint32_t child, QString *error)
{
    if (!unlinkAndFree(child, error))
        return false;
    const Step step = path[std::size_t(level)];
    IndexPage *n = page(step.page, error);
    if (!n)
        return false;
    const bool wasRightmost = step.index < 0 || (step.index == int(n->entries.size()) - 1 && n->tail == 0);
    if (step.index < 0)
        n->tail = 0;
    else
        n->entries.erase(n->entries.begin() + step.index);
    touch(step.page);

    if (n->entries.empty() && n->tail == 0) {
        if (level == 0) {
            n->makeEmptyLeaf(); // the root stays, as an empty leaf
            return true;
        }
        return removeChild(path, level - 1, step.page, error);
    }
    if (n->entries.empty()) {
        // Only the tail is left: it becomes a normal entry. The node's subtree still ends
        // where the tail's does, so nothing above changes.
        QByteArray last;
        const std::uint32_t tail = n->tail;
        if (!subtreeLast(tail, &last, error))
            return false;
        n = page(step.page, error);
        if (!n)
            return false;
        n->entries.push_back(IndexPage::Entry{last, tail});
        n->tail = 0;
        return true;
    }
    if (wasRightmost)
        return propagateLast(path, level - 1, n->entries.back().bytes, error);
    return true;
}

bool IndexTreeEditor::propagateLast(const std::vector<Step> &path, int level, const QByteArray &last, QString *error)
{
    const QByteArray bytes = last; // `last` may live in a page changed below
    for (; level >= 0; --level) {
        const Step step = path[std::size_t(level)];
        if (step.index < 0)
            continue; // a tail child has no entry here; the node's own subtree end moved
        IndexPage *n = page(step.page, error);
        if (!n)
            return false;
        if (step.index >= int(n->entries.size())) {
            setError(error, QStringLiteral("index page %1 lost the entry leading to a changed page").arg(step.page));
            return false;
        }
        n->entries[std::size_t(step.index)].bytes = bytes;
        touch(step.page);
        if (step.index != int(n->entries.size()) - 1 || n->tail != 0)
            return true;
    }
    return true;
}

bool IndexTreeEditor::subtreeLast(std::uint32_t pageNo, QByteArray *last, QString *error)
{
    std::uint32_t current = pageNo;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        IndexPage *p = page(current, error);
        if (!p)
            return false;
        if (p->isLeaf()) {
            if (p->entries.empty()) {
                setError(error, QStringLiteral("index leaf %1 is empty but still linked into the tree").arg(current));
                return false;
            }
            *last = p->entries.back().bytes;
            return true;
        }
        if (p->tail != 0)
            current = p->tail;
        else if (!p->entries.empty())
            current = p->entries.back().child;
        else {
            setError(error, QStringLiteral("index node %1 has neither entries nor a tail").arg(current));
            return false;
        }
    }
    setError(error, QStringLiteral("the index tree below page %1 is deeper than %2 levels").arg(pageNo).arg(kMaxDepth));
    return false;
}

bool IndexTreeEditor::unlinkAndFree(std::uint32_t pageNo, QString *error)
{
    IndexPage *p = page(pageNo, error);
    if (!p)
        return false;
    const std::uint32_t prev = p->prev;
    const std::uint32_t next = p->next;
    if (prev != 0) {
        IndexPage *left = page(prev, error);
        if (!left)
            return false;
        left->next = next;
        touch(prev);
    }
    if (next != 0) {
        IndexPage *right = page(next, error);
        if (!right)
            return false;
        right->prev = prev;
        touch(next);
    }
    m_pages.erase(pageNo);
    m_dirty.erase(pageNo);
    m_freed.push_back(pageNo);
    return true;
}

bool IndexTreeEditor::flush(QString *error)
{
    for (const std::uint32_t number : m_dirty) {
        const IndexPage &p = m_pages.at(number);
        QString why;
        std::uint8_t *bytes = m_batch.modify(number, &why);
        if (!bytes) {
            setError(error, QStringLiteral("index page %1: %2").arg(number).arg(why));
            return false;
        }
        if (!p.encode(bytes, &why)) {
            setError(error, QStringLiteral("index page %1 would need to be split (%2); this delete is not supported")
                                .arg(number)
                                .arg(why));
            return false;
        }
    }
    for (const std::uint32_t number : m_freed) {
        QString why;
        std::uint8_t *bytes = m_batch.modify(number, &why);
        if (!bytes) {
            setError(error, QStringLiteral("index page %1: %2").arg(number).arg(why));
            return false;
        }
        std::memset(bytes, 0, 4);
    }
    m_dirty.clear();
    return true;
}

} // namespace jet
