#include "WorkbookPackage.h"

#include "platform/RandomAccessFile.h"
#include "xml/XmlScanner.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <zip.h>

#include <cerrno>
#include <memory>

namespace {

// A part bigger than this is not read into memory; a template has no reason for one.
constexpr zip_uint64_t kMaxPartSize = 512u << 20;

bool EndsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The template as libzip reads it: a file that opened as a regular file (a named pipe or a
// device under the template's name is refused before libzip sees it), read at offsets.
// libzip owns it from zip_source_function_create on and frees it with ZIP_SOURCE_FREE.
struct TemplateSource
{
    RandomAccessFile file;
    zip_uint64_t size = 0;
    zip_uint64_t position = 0;
    zip_error_t error{};

    static zip_int64_t Callback(void *user, void *data, zip_uint64_t length, zip_source_cmd_t command)
    {
        auto *self = static_cast<TemplateSource *>(user);
        switch (command) {
        case ZIP_SOURCE_OPEN:
            self->position = 0;
            return 0;
        case ZIP_SOURCE_READ: {
            const qint64 read = self->file.readSome(self->position, data, std::size_t(length));
            if (read < 0) {
                zip_error_set(&self->error, ZIP_ER_READ, EIO);
                return -1;
            }
            self->position += zip_uint64_t(read);
            return read;
        }
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            if (length < sizeof(zip_stat_t)) {
                zip_error_set(&self->error, ZIP_ER_INVAL, 0);
                return -1;
            }
            auto *stat = static_cast<zip_stat_t *>(data);
            zip_stat_init(stat);
            stat->size = self->size;
            stat->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&self->error, data, length);
        case ZIP_SOURCE_FREE:
            zip_error_fini(&self->error);
            delete self;
            return 0;
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t to =
                zip_source_seek_compute_offset(self->position, self->size, data, length, &self->error);
            if (to < 0)
                return -1;
            self->position = zip_uint64_t(to);
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return zip_int64_t(self->position);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                                                  ZIP_SOURCE_SUPPORTS, -1);
        default:
            zip_error_set(&self->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }
};

} // namespace

WorkbookPackage::~WorkbookPackage()
{
    Close();
}

bool WorkbookPackage::SetError(const QString &text)
{
    m_error = text;
    return false;
}

bool WorkbookPackage::Open(const QString &path)
{
    Close();
    m_path = path;
    if (!RandomAccessFile::exists(path))
        return SetError(QStringLiteral("The template workbook %1 does not exist.").arg(path));
    auto source = std::make_unique<TemplateSource>();
    zip_error_init(&source->error);
    QString why;
    switch (source->file.open(path, RandomAccessFile::Access::Read, &why)) {
    case RandomAccessFile::OpenResult::Opened:
        break;
    case RandomAccessFile::OpenResult::NotRegularFile:
        return SetError(QStringLiteral("The template workbook %1 is %2.").arg(path, why));
    case RandomAccessFile::OpenResult::Failed:
        return SetError(QStringLiteral("Cannot open the template workbook %1: %2").arg(path, why));
    }
    const qint64 size = source->file.size(&why);
    if (size < 0)
        return SetError(QStringLiteral("Cannot open the template workbook %1: %2").arg(path, why));
    source->size = zip_uint64_t(size);

    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *zipSource = zip_source_function_create(&TemplateSource::Callback, source.get(), &error);
    if (zipSource) {
        source.release(); // the zip source frees it from now on
        m_zip = zip_open_from_source(zipSource, ZIP_RDONLY, &error);
        if (!m_zip)
            zip_source_free(zipSource);
    }
    if (!m_zip) {
        const int code = zip_error_code_zip(&error);
        const QString reason = QString::fromLocal8Bit(zip_error_strerror(&error));
        zip_error_fini(&error);
        if (code == ZIP_ER_NOZIP || code == ZIP_ER_INCONS)
            return SetError(QStringLiteral("The template %1 is not a workbook (not a zip archive).").arg(path));
        return SetError(QStringLiteral("Cannot open the template workbook %1: %2").arg(path, reason));
    }
    zip_error_fini(&error);
    return true;
}

void WorkbookPackage::Close()
{
    if (m_zip) {
        zip_discard(m_zip);
        m_zip = nullptr;
    }
}

std::int64_t WorkbookPackage::IndexOf(const std::string &part) const
{
    if (!m_zip || part.empty())
        return -1;
    return zip_name_locate(m_zip, part.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_RAW);
}

std::string WorkbookPackage::NameAt(std::uint64_t index) const
{
    const char *name = m_zip ? zip_get_name(m_zip, index, ZIP_FL_ENC_RAW) : nullptr;
    return name ? std::string(name) : std::string();
}

std::uint64_t WorkbookPackage::EntryCount() const
{
    return m_zip ? std::uint64_t(zip_get_num_entries(m_zip, 0)) : 0;
}

bool WorkbookPackage::Read(const std::string &part, std::string &bytes)
{
    const std::int64_t index = IndexOf(part);
    if (index < 0)
        return SetError(QStringLiteral("The template %1 has no part %2.").arg(m_path, QString::fromStdString(part)));
    zip_stat_t st;
    if (zip_stat_index(m_zip, zip_uint64_t(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return SetError(QStringLiteral("Cannot read %1 in %2.").arg(QString::fromStdString(part), m_path));
    if (st.size > kMaxPartSize)
        return SetError(QStringLiteral("The part %1 of %2 is too large.").arg(QString::fromStdString(part), m_path));
    zip_file_t *file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file)
        return SetError(QStringLiteral("Cannot read %1 in %2: %3")
                            .arg(QString::fromStdString(part), m_path, QString::fromLocal8Bit(zip_strerror(m_zip))));
    bytes.resize(st.size);
    const zip_int64_t got = zip_fread(file, bytes.data(), st.size);
    const bool ok = got == zip_int64_t(st.size);
    const QString reason = ok ? QString() : QString::fromLocal8Bit(zip_file_strerror(file));
    zip_fclose(file);
    if (!ok)
        return SetError(QStringLiteral("Cannot read %1 in %2: %3").arg(QString::fromStdString(part), m_path, reason));
    return true;
}

std::string WorkbookPackage::RelationshipsPartOf(const std::string &part)
{
    const std::size_t slash = part.rfind('/');
    if (slash == std::string::npos)
        return "_rels/" + part + ".rels";
    return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

std::string WorkbookPackage::ResolveTarget(const std::string &sourcePart, std::string_view target)
{
    // Targets are relative URIs: percent-encoded, relative to the source part's folder
    // unless they start with '/'.
    const QString decoded = QUrl::fromPercentEncoding(QByteArray(target.data(), qsizetype(target.size())));
    QString full;
    if (decoded.startsWith(QLatin1Char('/'))) {
        full = decoded;
    } else {
        const std::size_t slash = sourcePart.rfind('/');
        const QString folder =
            slash == std::string::npos ? QString() : QString::fromStdString(sourcePart.substr(0, slash + 1));
        full = QLatin1Char('/') + folder + decoded;
    }
    QString clean = QDir::cleanPath(full);
    while (clean.startsWith(QLatin1Char('/')))
        clean.remove(0, 1);
    return clean.toStdString();
}

bool WorkbookPackage::ReadRelationships(const std::string &sourcePart, std::vector<Relationship> &out)
{
    out.clear();
    const std::string relsPart = RelationshipsPartOf(sourcePart);
    if (IndexOf(relsPart) < 0)
        return true; // a part without relationships
    std::string xml;
    if (!Read(relsPart, xml))
        return false;
    XmlScanner scanner(xml);
    XmlToken token;
    std::vector<XmlAttribute> attributes;
    while (scanner.Next(token)) {
        if (!token.Is(XmlToken::StartTag, "Relationship"))
            continue;
        if (!XmlScanner::ParseAttributes(token.attributes, attributes))
            break;
        Relationship rel;
        if (const XmlAttribute *a = XmlScanner::Find(attributes, "Id"))
            rel.id = XmlScanner::Decode(a->value).toStdString();
        if (const XmlAttribute *a = XmlScanner::Find(attributes, "Type"))
            rel.type = XmlScanner::Decode(a->value).toStdString();
        if (const XmlAttribute *a = XmlScanner::Find(attributes, "TargetMode"))
            rel.external = a->value == "External";
        if (const XmlAttribute *a = XmlScanner::Find(attributes, "Target")) {
            const std::string target = XmlScanner::Decode(a->value).toStdString();
            rel.target = rel.external ? target : ResolveTarget(sourcePart, target);
        }
        out.push_back(std::move(rel));
    }
    if (scanner.Failed())
        return SetError(
            QStringLiteral("The part %1 of %2 is not well-formed XML.").arg(QString::fromStdString(relsPart), m_path));
    return true;
}

bool WorkbookPackage::Locate(const QString &sheetName, Layout &layout)
{
    layout = Layout();
    std::vector<Relationship> rels;
    if (!ReadRelationships(std::string(), rels))
        return false;
    for (const Relationship &rel : rels) {
        if (!rel.external && EndsWith(rel.type, "/officeDocument")) {
            layout.workbookPart = rel.target;
            break;
        }
    }
    if (layout.workbookPart.empty() || IndexOf(layout.workbookPart) < 0)
        return SetError(QStringLiteral("The template %1 is not a workbook (it has no workbook part).").arg(m_path));
    layout.workbookPart = NameAt(std::uint64_t(IndexOf(layout.workbookPart)));
    layout.workbookRelsPart = RelationshipsPartOf(layout.workbookPart);

    std::string workbookXml;
    if (!Read(layout.workbookPart, workbookXml))
        return false;
    std::vector<Relationship> workbookRels;
    if (!ReadRelationships(layout.workbookPart, workbookRels))
        return false;
    if (IndexOf(layout.workbookRelsPart) >= 0)
        layout.workbookRelsPart = NameAt(std::uint64_t(IndexOf(layout.workbookRelsPart)));

    // The workbook's sheet list, in order; the first whose name matches is the one, as in
    // Excel, where two sheet names never differ only in case.
    std::string sheetRelId;
    bool found = false;
    XmlScanner scanner(workbookXml);
    XmlToken token;
    std::vector<XmlAttribute> attributes;
    while (scanner.Next(token)) {
        if (token.kind != XmlToken::StartTag)
            continue;
        const std::string_view local = token.LocalName();
        if (local != "sheet" && local != "workbookPr")
            continue;
        if (!XmlScanner::ParseAttributes(token.attributes, attributes))
            return SetError(QStringLiteral("The workbook part of %1 is not well-formed XML.").arg(m_path));
        if (local == "workbookPr") {
            const XmlAttribute *a = XmlScanner::Find(attributes, "date1904");
            layout.date1904 = a && (a->value == "1" || a->value == "true");
            continue;
        }
        const XmlAttribute *name = XmlScanner::Find(attributes, "name");
        if (found || !name || XmlScanner::Decode(name->value).compare(sheetName, Qt::CaseInsensitive) != 0)
            continue;
        // The relationship id is the sheet's only prefixed "id" attribute (r:id).
        for (const XmlAttribute &a : attributes) {
            const std::size_t colon = a.name.find(':');
            if (colon != std::string_view::npos && a.name.substr(colon + 1) == "id")
                sheetRelId = XmlScanner::Decode(a.value).toStdString();
        }
        found = true;
    }
    if (scanner.Failed())
        return SetError(QStringLiteral("The workbook part of %1 is not well-formed XML.").arg(m_path));
    if (!found)
        return SetError(QStringLiteral("The template %1 has no worksheet named \"%2\".").arg(m_path, sheetName));

    for (const Relationship &rel : workbookRels) {
        if (rel.external)
            continue;
        if (rel.id == sheetRelId) {
            if (!EndsWith(rel.type, "/worksheet"))
                return SetError(QStringLiteral("The sheet \"%1\" of %2 is not a worksheet.").arg(sheetName, m_path));
            layout.sheetPart = rel.target;
        } else if (EndsWith(rel.type, "/styles") && layout.stylesPart.empty()) {
            layout.stylesPart = rel.target;
        } else if (EndsWith(rel.type, "/calcChain") && layout.calcChainPart.empty()) {
            layout.calcChainPart = rel.target;
            layout.calcChainRelId = rel.id;
        }
    }
    const std::int64_t sheetIndex = IndexOf(layout.sheetPart);
    if (layout.sheetPart.empty() || sheetIndex < 0)
        return SetError(QStringLiteral("The worksheet \"%1\" of %2 has no sheet part.").arg(sheetName, m_path));
    layout.sheetPart = NameAt(std::uint64_t(sheetIndex));
    const std::int64_t stylesIndex = IndexOf(layout.stylesPart);
    layout.stylesPart = stylesIndex < 0 ? std::string() : NameAt(std::uint64_t(stylesIndex));
    const std::int64_t calcIndex = IndexOf(layout.calcChainPart);
    layout.calcChainPart = calcIndex < 0 ? std::string() : NameAt(std::uint64_t(calcIndex));
    return true;
}
