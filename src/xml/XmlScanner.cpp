#include "xml/XmlScanner.h"

#include <cstring>

namespace {

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsNameEnd(char c)
{
    return IsSpace(c) || c == '/' || c == '>' || c == '=';
}

} // namespace

std::string_view XmlToken::LocalName() const
{
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view XmlToken::Prefix() const
{
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon + 1);
}

XmlScanner::XmlScanner(std::string_view document) : m_doc(document)
{
    // A byte order mark is not markup.
    if (m_doc.substr(0, 3) == "\xEF\xBB\xBF")
        m_pos = 3;
}

bool XmlScanner::Fail()
{
    m_failed = true;
    m_pos = m_doc.size();
    return false;
}

bool XmlScanner::Next(XmlToken &token)
{
    if (m_pos >= m_doc.size())
        return false;
    const char *const base = m_doc.data();
    const std::size_t size = m_doc.size();
    const std::size_t start = m_pos;
    token = XmlToken();

    if (base[start] != '<') {
        const void *lt = std::memchr(base + start, '<', size - start);
        m_pos = lt ? std::size_t(static_cast<const char *>(lt) - base) : size;
        token.kind = XmlToken::Text;
        token.raw = m_doc.substr(start, m_pos - start);
        return true;
    }

    auto skipTo = [&](std::string_view terminator, XmlToken::Kind kind) {
        const std::size_t end = m_doc.find(terminator, start + 1);
        if (end == std::string_view::npos)
            return Fail();
        m_pos = end + terminator.size();
        token.kind = kind;
        token.raw = m_doc.substr(start, m_pos - start);
        return true;
    };

    const std::string_view rest = m_doc.substr(start);
    if (rest.substr(0, 4) == "<!--")
        return skipTo("-->", XmlToken::Other);
    if (rest.substr(0, 9) == "<![CDATA[")
        return skipTo("]]>", XmlToken::Text);
    if (rest.substr(0, 2) == "<?")
        return skipTo("?>", XmlToken::Other);
    if (rest.substr(0, 2) == "<!") {
        // A document type declaration; an internal subset ends with "]>".
        const std::size_t bracket = rest.find('[');
        const std::size_t gt = rest.find('>');
        if (bracket != std::string_view::npos && gt != std::string_view::npos && bracket < gt)
            return skipTo("]>", XmlToken::Other);
        return skipTo(">", XmlToken::Other);
    }

    const bool endTag = rest.size() > 1 && rest[1] == '/';
    std::size_t p = start + (endTag ? 2 : 1);
    const std::size_t nameStart = p;
    while (p < size && !IsNameEnd(base[p]))
        ++p;
    if (p == nameStart || p >= size)
        return Fail();
    token.name = m_doc.substr(nameStart, p - nameStart);

    if (endTag) {
        while (p < size && IsSpace(base[p]))
            ++p;
        if (p >= size || base[p] != '>')
            return Fail();
        m_pos = p + 1;
        token.kind = XmlToken::EndTag;
        token.raw = m_doc.substr(start, m_pos - start);
        return true;
    }

    // Attributes: quoted values may hold '>' and '/'.
    const std::size_t attrStart = p;
    char quote = 0;
    for (; p < size; ++p) {
        const char c = base[p];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    if (p >= size)
        return Fail();
    std::size_t attrEnd = p;
    if (attrEnd > attrStart && base[attrEnd - 1] == '/') {
        token.selfClosing = true;
        --attrEnd;
    }
    m_pos = p + 1;
    token.kind = XmlToken::StartTag;
    token.attributes = m_doc.substr(attrStart, attrEnd - attrStart);
    token.raw = m_doc.substr(start, m_pos - start);
    return true;
}

bool XmlScanner::SkipElement(const XmlToken &start)
{
    if (start.kind != XmlToken::StartTag)
        return Fail();
    if (start.selfClosing) {
        m_contentEnd = m_pos;
        return true;
    }
    // Open elements, so that every end tag can be checked against its start tag.
    std::vector<std::string_view> open{start.name};
    XmlToken token;
    while (Next(token)) {
        if (token.kind == XmlToken::StartTag && !token.selfClosing) {
            open.push_back(token.name);
        } else if (token.kind == XmlToken::EndTag) {
            if (token.name != open.back())
                return Fail();
            open.pop_back();
            if (open.empty()) {
                m_contentEnd = Offset(token.raw);
                return true;
            }
        }
    }
    return Fail();
}

bool XmlScanner::NextChild(const XmlToken &parent, XmlToken &child)
{
    if (parent.selfClosing) {
        m_contentEnd = m_pos;
        return false;
    }
    if (!Next(child))
        return Fail(); // the document ends inside the element
    if (child.kind == XmlToken::EndTag) {
        if (child.name != parent.name)
            return Fail();
        m_contentEnd = Offset(child.raw);
        return false;
    }
    return true;
}

bool XmlScanner::ParseAttributes(std::string_view text, std::vector<XmlAttribute> &out)
{
    out.clear();
    std::size_t p = 0;
    const std::size_t n = text.size();
    for (;;) {
        while (p < n && IsSpace(text[p]))
            ++p;
        if (p >= n)
            return true;
        const std::size_t nameStart = p;
        while (p < n && !IsNameEnd(text[p]))
            ++p;
        const std::size_t nameEnd = p;
        while (p < n && IsSpace(text[p]))
            ++p;
        if (nameEnd == nameStart || p >= n || text[p] != '=')
            return false;
        ++p;
        while (p < n && IsSpace(text[p]))
            ++p;
        if (p >= n || (text[p] != '"' && text[p] != '\''))
            return false;
        const char quote = text[p];
        const std::size_t valueStart = ++p;
        while (p < n && text[p] != quote)
            ++p;
        if (p >= n)
            return false;
        XmlAttribute attribute;
        attribute.name = text.substr(nameStart, nameEnd - nameStart);
        attribute.value = text.substr(valueStart, p - valueStart);
        ++p;
        attribute.raw = text.substr(nameStart, p - nameStart);
        out.push_back(attribute);
    }
}

const XmlAttribute *XmlScanner::Find(const std::vector<XmlAttribute> &attributes, std::string_view name)
{
    for (const XmlAttribute &a : attributes) {
        if (a.name == name)
            return &a;
    }
    return nullptr;
}

QString XmlScanner::Decode(std::string_view raw)
{
    if (raw.find('&') == std::string_view::npos)
        return QString::fromUtf8(raw.data(), qsizetype(raw.size()));
    QString out;
    out.reserve(qsizetype(raw.size()));
    std::size_t p = 0;
    while (p < raw.size()) {
        const std::size_t amp = raw.find('&', p);
        const std::size_t chunkEnd = amp == std::string_view::npos ? raw.size() : amp;
        out += QString::fromUtf8(raw.data() + p, qsizetype(chunkEnd - p));
        if (amp == std::string_view::npos)
            break;
        const std::size_t semi = raw.find(';', amp);
        if (semi == std::string_view::npos) {
            out += QLatin1Char('&');
            p = amp + 1;
            continue;
        }
        const std::string_view entity = raw.substr(amp + 1, semi - amp - 1);
        if (entity == "amp") {
            out += QLatin1Char('&');
        } else if (entity == "lt") {
            out += QLatin1Char('<');
        } else if (entity == "gt") {
            out += QLatin1Char('>');
        } else if (entity == "quot") {
            out += QLatin1Char('"');
        } else if (entity == "apos") {
            out += QLatin1Char('\'');
        } else if (entity.size() > 1 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const QByteArray digits(entity.data() + (hex ? 2 : 1), qsizetype(entity.size() - (hex ? 2 : 1)));
            bool ok = false;
            const uint code = digits.toUInt(&ok, hex ? 16 : 10);
            if (ok && code <= 0x10FFFF) {
                const char32_t c = code;
                out += QString::fromUcs4(&c, 1);
            }
        } else {
            // An entity this scanner does not know: keep it as written.
            out += QString::fromUtf8(raw.data() + amp, qsizetype(semi - amp + 1));
        }
        p = semi + 1;
    }
    return out;
}

long long XmlScanner::ToNumber(std::string_view raw)
{
    if (raw.empty() || raw.size() > 15)
        return -1;
    long long value = 0;
    for (char c : raw) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}
