#include "lang/Language.h"

#include "lang/CodePageConverter.h"
#include "lang/MenuTextTarget.h"
#include "platform/RandomAccessFile.h"
#include "xml/XmlScanner.h"

#include <QFileInfo>

#include <tinyxml.h>

#include <algorithm>
#include <climits>
#include <string_view>

namespace {

constexpr const char *kRoot = "Talvenor";
constexpr const char *kLanguage = "Native-Langue";
constexpr const char *kDialog = "Dialog";
constexpr const char *kColumns = "ColumnId";
constexpr const char *kItem = "Item";

// An "id" attribute read the lenient way the files have always been read: leading white
// space, an optional sign, then decimal digits up to the first non-digit; no digits give 0.
// Values beyond the int range stop at its ends.
int ParseItemId(const char *text)
{
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = std::min(value * 10 + (*p - '0'), 1LL + INT_MAX);
    return int(std::clamp(negative ? -value : value, (long long)INT_MIN, (long long)INT_MAX));
}

// Deeper element nesting than any language file needs. The XML library parses and frees
// elements recursively, so a broken or hostile file nested hundreds of thousands of levels
// deep would overflow the stack; such a file is refused before it is parsed.
constexpr int kMaxNesting = 1000;

// A language file holds a few hundred short texts (about 8 KB); one far larger is not one.
constexpr qint64 kMaxFileBytes = 16 << 20;

// Whether an XML text must not reach the parser: its elements nest deeper than `limit` (a
// start tag goes one level down, an end tag one up), or the scanner cannot read its markup
// at all, so its depth is unknown.
bool UnsafeToParse(std::string_view xml, int limit)
{
    XmlScanner scanner(xml);
    XmlToken token;
    int depth = 0;
    while (depth <= limit && scanner.Next(token)) {
        if (token.kind == XmlToken::StartTag && !token.selfClosing)
            ++depth;
        else if (token.kind == XmlToken::EndTag)
            depth = std::max(depth - 1, 0);
    }
    return depth > limit || scanner.Failed();
}

// Calls f(id, rawName) for every Item element under section in document order; Items
// without "id" get missingId when it is given and are passed over otherwise. rawName is
// null for an Item without "name".
template <typename F>
void ForEachItem(const TiXmlNode *section, const int *missingId, F &&f)
{
    for (const TiXmlElement *item = section->FirstChildElement(kItem); item; item = item->NextSiblingElement(kItem)) {
        const char *idText = item->Attribute("id");
        if (!idText && !missingId)
            continue;
        f(idText ? ParseItemId(idText) : *missingId, item->Attribute("name"));
    }
}

} // namespace

CLanguage::CLanguage(const QString &programDir) : m_programDir(programDir) {}

CLanguage::~CLanguage() = default;

int CLanguage::Load(const QString &relativeName)
{
    QString path = m_programDir;
    if (!path.endsWith(u'/') && !relativeName.startsWith(u'/'))
        path += u'/';
    path += relativeName;
    return LoadFile(path);
}

int CLanguage::LoadFile(const QString &path)
{
    m_loadError.clear();
    if (!QFileInfo::exists(path)) {
        m_loadError = QStringLiteral("it does not exist");
        return -2;
    }
    m_document.reset();
    const int failed = LoadDocument(path);
    if (failed != 0 && m_loadError.isEmpty())
        m_loadError = QStringLiteral("it is not a language file (no Talvenor/Native-Langue element)");
    return failed;
}

int CLanguage::LoadDocument(const QString &path)
{
    // The bytes are read here rather than by TinyXML, whose fopen-based loader does not
    // take a QString path; its loader's line-end rule (CR LF and lone CR become LF) is
    // applied the same way. Only a regular file is read: a named pipe would wait for a
    // writer, and a device may never end.
    QByteArray bytes;
    QString why;
    const auto read = RandomAccessFile::readWhole(path, kMaxFileBytes, &bytes, &why);
    if (read != RandomAccessFile::ReadResult::Read) {
        m_loadError = read == RandomAccessFile::ReadResult::Failed ? why : QStringLiteral("it is ") + why;
        return -1;
    }
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');

    if (UnsafeToParse(std::string_view(bytes.constData(), size_t(bytes.size())), kMaxNesting)) {
        m_loadError = QStringLiteral("its elements are nested too deep, or its markup cannot be read");
        return -1;
    }

    auto document = std::make_unique<TiXmlDocument>();
    document->Parse(bytes.constData(), nullptr, TIXML_DEFAULT_ENCODING);
    if (document->Error()) {
        m_loadError = QStringLiteral("it is not well-formed XML (%1, line %2)")
                          .arg(QString::fromUtf8(document->ErrorDesc()))
                          .arg(document->ErrorRow());
        return -1;
    }
    m_document = std::move(document);

    if (!Walk({kRoot, kLanguage}))
        return -1;
    // The declared encoding counts only when the declaration is the document's first node.
    if (const TiXmlNode *first = m_document->FirstChild()) {
        if (const TiXmlDeclaration *declaration = first->ToDeclaration())
            m_codePage = CodePageFromEncoding(declaration->Encoding());
    }
    return 0;
}

const TiXmlNode *CLanguage::Walk(std::initializer_list<const char *> path) const
{
    const TiXmlNode *node = m_document.get();
    for (const char *name : path) {
        if (!node)
            break;
        node = node->FirstChild(name);
    }
    return node;
}

const char *CLanguage::FindItemName(const char *group, const char *section, int id) const
{
    const TiXmlNode *items = Walk({kRoot, kLanguage, group, section});
    if (!items)
        return nullptr;
    for (const TiXmlElement *item = items->FirstChildElement(kItem); item; item = item->NextSiblingElement(kItem)) {
        const char *idText = item->Attribute("id");
        if (idText && ParseItemId(idText) == id)
            return item->Attribute("name");
    }
    return nullptr;
}

QString CLanguage::DialogText(int textId) const
{
    const QByteArray group = "UserDlg" + QByteArray::number(textId / 50);
    const char *raw = FindItemName(kDialog, group.constData(), textId % 50);
    if (!raw)
        return QString();
    CodePageConverter converter;
    return converter.ToWide(raw, m_codePage).toString();
}

QString CLanguage::ColumnText(int columnId) const
{
    const char *raw = FindItemName(kDialog, kColumns, columnId);
    if (!raw)
        return QStringLiteral(" ");
    CodePageConverter converter;
    return converter.ToWide(raw, m_codePage).toString();
}

int CLanguage::TranslateMenu(MenuTextTarget &menu, const char *menuElement) const
{
    const TiXmlNode *main = Walk({kRoot, kLanguage, menuElement, "Main"});
    const TiXmlNode *entries = main ? main->FirstChild("Entries") : nullptr;
    if (!entries)
        return -1; // without Entries the commands are left alone too

    CodePageConverter converter;
    ForEachItem(entries, nullptr, [&](int position, const char *name) {
        menu.SetEntryText(position, converter.ToWide(name, m_codePage).toString());
    });
    if (const TiXmlNode *commands = main->FirstChild("Commands")) {
        // A command Item without "id" stands for id 0, which no command carries.
        const int missingId = 0;
        ForEachItem(commands, &missingId, [&](int commandId, const char *name) {
            menu.SetCommandText(commandId, converter.ToWide(name, m_codePage).toString());
        });
    }
    return 0;
}

int CLanguage::TranslatePopupMenu(MenuTextTarget &popup, const char *menuElement, const char *popupElement) const
{
    const TiXmlNode *items = Walk({kRoot, kLanguage, menuElement, "Main", popupElement});
    if (!items)
        return -1;
    CodePageConverter converter;
    ForEachItem(items, nullptr, [&](int commandId, const char *name) {
        popup.SetCommandText(commandId, converter.ToWide(name, m_codePage).toString());
    });
    return 0;
}

QString GetDialogText(int textId)
{
    return g_language.DialogText(textId);
}

QString GetColumnText(int columnId)
{
    return g_language.ColumnText(columnId);
}
