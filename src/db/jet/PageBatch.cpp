#include "db/jet/PageBatch.h"

#include "db/jet/PageFile.h"

namespace jet {

PageBatch::Image *PageBatch::load(std::uint32_t page, QString *error)
{
    auto it = m_pages.find(page);
    if (it != m_pages.end())
        return &it->second;
    Image image;
    image.original = QByteArray(m_file.pageSize(), '\0');
    if (!m_file.readPage(page, reinterpret_cast<std::uint8_t *>(image.original.data()), error))
        return nullptr;
    image.current = image.original;
    image.current.detach();
    return &m_pages.emplace(page, std::move(image)).first->second;
}

const std::uint8_t *PageBatch::read(std::uint32_t page, QString *error)
{
    Image *image = load(page, error);
    return image ? reinterpret_cast<const std::uint8_t *>(image->current.constData()) : nullptr;
}

std::uint8_t *PageBatch::modify(std::uint32_t page, QString *error)
{
    Image *image = load(page, error);
    if (!image)
        return nullptr;
    image->marked = true;
    return reinterpret_cast<std::uint8_t *>(image->current.data());
}

const std::uint8_t *PageBatch::peek(std::uint32_t page, std::vector<std::uint8_t> &scratch, QString *error) const
{
    auto it = m_pages.find(page);
    if (it != m_pages.end())
        return reinterpret_cast<const std::uint8_t *>(it->second.current.constData());
    scratch.resize(std::size_t(m_file.pageSize()));
    if (!m_file.readPage(page, scratch.data(), error))
        return nullptr;
    return scratch.data();
}

std::vector<PageBatch::Change> PageBatch::changes() const
{
    std::vector<Change> out;
    for (const auto &[page, image] : m_pages) {
        if (image.marked && image.current != image.original)
            out.push_back(Change{page, image.original, image.current});
    }
    return out;
}

} // namespace jet
