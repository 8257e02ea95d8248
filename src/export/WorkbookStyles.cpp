#include "WorkbookStyles.h"

#include "xml/XmlScanner.h"

#include <algorithm>

namespace {

const char kDefaultXf[] = "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>";

// Rewrites a start tag with some attributes set (replaced in place, or appended).
std::string WithAttributes(const XmlToken &tag, const std::vector<std::pair<std::string_view, std::string>> &set)
{
    std::vector<XmlAttribute> attributes;
    XmlScanner::ParseAttributes(tag.attributes, attributes);
    std::string out = "<";
    out += tag.name;
    std::vector<bool> done(set.size(), false);
    for (const XmlAttribute &a : attributes) {
        bool replaced = false;
        for (std::size_t i = 0; i < set.size(); ++i) {
            if (a.name == set[i].first) {
                out += ' ';
                out += set[i].first;
                out += "=\"" + set[i].second + '"';
                done[i] = replaced = true;
            }
        }
        if (!replaced) {
            out += ' ';
            out += a.raw;
        }
    }
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (!done[i]) {
            out += ' ';
            out += set[i].first;
            out += "=\"" + set[i].second + '"';
        }
    }
    out += tag.selfClosing ? "/>" : ">";
    return out;
}

} // namespace

std::string WorkbookStyles::MinimalStyleSheet()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
           "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
           "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
           "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
           "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
           "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
           "</styleSheet>";
}

bool WorkbookStyles::Parse(std::string xml)
{
    *this = WorkbookStyles();
    m_xml = std::move(xml);
    XmlScanner scanner(m_xml);
    XmlToken token;
    std::vector<XmlAttribute> attributes;
    auto malformed = [&] {
        m_error = QStringLiteral("The style part of the template is not well-formed XML.");
        return false;
    };

    while (scanner.Next(token) && token.kind != XmlToken::StartTag) {}
    if (scanner.Failed())
        return malformed();
    if (!token.Is(XmlToken::StartTag, "styleSheet") || token.selfClosing) {
        m_error = QStringLiteral("The style part of the template has no style sheet.");
        return false;
    }
    m_prefix = std::string(token.Prefix());
    m_rootOpenEnd = scanner.Position();
    bool insertPointFound = false;

    const XmlToken root = token;
    const bool read = scanner.ForEachChild(root, [&](const XmlToken &element) {
        const std::string_view local = element.LocalName();
        const std::size_t start = scanner.Offset(element.raw);
        if (!insertPointFound && !m_hasXfs
            && (local == "cellStyles" || local == "dxfs" || local == "tableStyles" || local == "colors"
                || local == "extLst")) {
            m_xfsInsertAt = start;
            insertPointFound = true;
        }
        if (local == "numFmts") {
            m_hasNumFmts = true;
            m_numFmtsSelfClosing = element.selfClosing;
            m_numFmtsStartTag = {start, scanner.Position()};
            if (element.selfClosing)
                return true;
            const bool formatsRead = scanner.ForEachChild(element, [&](const XmlToken &child) {
                if (child.LocalName() == "numFmt" && !ReadNumberFormat(child, attributes))
                    return false;
                return scanner.SkipElement(child);
            });
            m_numFmtsEndTag = scanner.ContentEnd();
            return formatsRead;
        }
        if (local == "cellXfs") {
            if (element.selfClosing) {
                m_xfsElement = {start, scanner.Position()};
                m_xfsInsertAt = start;
                insertPointFound = true;
                return true;
            }
            m_hasXfs = true;
            m_xfsStartTag = {start, scanner.Position()};
            const bool formatsRead = scanner.ForEachChild(element, [&](const XmlToken &child) {
                const std::size_t childStart = scanner.Offset(child.raw);
                if (!scanner.SkipElement(child))
                    return false;
                if (child.LocalName() == "xf")
                    m_xfs.emplace_back(m_xml, childStart, scanner.Position() - childStart);
                return true;
            });
            m_xfsEndTag = scanner.ContentEnd();
            return formatsRead;
        }
        return scanner.SkipElement(element);
    });
    if (!read)
        return malformed();
    if (!insertPointFound)
        m_xfsInsertAt = scanner.ContentEnd();
    if (m_xfs.empty()) {
        // No cell formats at all: format 0 is the default one, written with the new ones.
        m_hasXfs = false;
        m_xfs.emplace_back(kDefaultXf);
        if (m_prefix.size())
            m_xfs.back().insert(1, m_prefix);
    }
    return true;
}

bool WorkbookStyles::ReadNumberFormat(const XmlToken &numFmt, std::vector<XmlAttribute> &attributes)
{
    ++m_numFmtCount;
    if (!XmlScanner::ParseAttributes(numFmt.attributes, attributes))
        return false;
    const XmlAttribute *id = XmlScanner::Find(attributes, "numFmtId");
    const XmlAttribute *code = XmlScanner::Find(attributes, "formatCode");
    const long long value = id ? XmlScanner::ToNumber(id->value) : -1;
    if (value >= m_nextFormatId && value < 100000)
        m_nextFormatId = int(value) + 1;
    if (value >= 0 && value < 100000 && code && m_dateFormatId < 0
        && XmlScanner::Decode(code->value) == QLatin1String(kDateTimeFormat))
        m_dateFormatId = int(value);
    return true;
}

int WorkbookStyles::Derived(int base, Variant variant)
{
    if (base < 0 || base >= int(m_xfs.size()))
        base = 0;
    const auto key = std::make_pair(base, int(variant));
    const auto it = m_derived.find(key);
    if (it != m_derived.end())
        return it->second;

    const std::string &source = m_xfs[std::size_t(base)];
    XmlScanner scanner(source);
    XmlToken tag;
    scanner.Next(tag);
    std::vector<std::pair<std::string_view, std::string>> set;
    // A date-time is wider than the template's 14.6-character columns; where the template's
    // format says nothing about alignment it shrinks to fit instead of showing "####".
    const bool shrink = variant == DateTime && source.find("alignment") == std::string::npos;
    if (variant == DateTime) {
        const int id = m_dateFormatId >= 0 ? m_dateFormatId : m_nextFormatId;
        set = {{"numFmtId", std::to_string(id)}, {"applyNumberFormat", "1"}};
        if (shrink)
            set.emplace_back("applyAlignment", "1");
    } else {
        set = {{"quotePrefix", "1"}};
    }
    std::string xf = WithAttributes(tag, set);
    if (shrink) {
        const std::string alignment = "<" + m_prefix + "alignment shrinkToFit=\"1\"/>";
        if (tag.selfClosing) {
            xf.replace(xf.size() - 2, 2, ">");
            xf += alignment + "</" + std::string(tag.name) + ">";
        } else {
            xf += alignment; // the first child of an xf
            xf += source.substr(tag.raw.size());
        }
    } else {
        xf += source.substr(tag.raw.size()); // children (alignment, protection) and the end tag
    }
    m_newXfs.push_back(std::move(xf));
    const int index = int(m_xfs.size() + m_newXfs.size()) - 1;
    m_derived.emplace(key, index);
    return index;
}

std::string WorkbookStyles::Result() const
{
    if (m_newXfs.empty())
        return m_xml;

    struct Edit
    {
        std::size_t begin, end;
        std::string text;
    };
    std::vector<Edit> edits;
    const std::string &p = m_prefix;

    bool needsFormat = false;
    for (const auto &entry : m_derived)
        needsFormat = needsFormat || entry.first.second == DateTime;
    if (needsFormat && m_dateFormatId < 0) {
        const std::string numFmt = "<" + p + "numFmt numFmtId=\"" + std::to_string(m_nextFormatId) + "\" formatCode=\""
                                   + std::string(kDateTimeFormat) + "\"/>";
        const std::string count = std::to_string(m_numFmtCount + 1);
        if (m_hasNumFmts && !m_numFmtsSelfClosing) {
            XmlScanner scanner(std::string_view(m_xml).substr(m_numFmtsStartTag.begin));
            XmlToken tag;
            scanner.Next(tag);
            edits.push_back({m_numFmtsStartTag.begin, m_numFmtsStartTag.end, WithAttributes(tag, {{"count", count}})});
            edits.push_back({m_numFmtsEndTag, m_numFmtsEndTag, numFmt});
        } else {
            const std::string element = "<" + p + "numFmts count=\"" + count + "\">" + numFmt + "</" + p + "numFmts>";
            if (m_hasNumFmts)
                edits.push_back({m_numFmtsStartTag.begin, m_numFmtsStartTag.end, element});
            else
                edits.push_back({m_rootOpenEnd, m_rootOpenEnd, element});
        }
    }

    std::string added;
    for (const std::string &xf : m_newXfs)
        added += xf;
    const std::string count = std::to_string(m_xfs.size() + m_newXfs.size());
    if (m_hasXfs) {
        XmlScanner scanner(std::string_view(m_xml).substr(m_xfsStartTag.begin));
        XmlToken tag;
        scanner.Next(tag);
        edits.push_back({m_xfsStartTag.begin, m_xfsStartTag.end, WithAttributes(tag, {{"count", count}})});
        edits.push_back({m_xfsEndTag, m_xfsEndTag, added});
    } else {
        const std::string element =
            "<" + p + "cellXfs count=\"" + count + "\">" + m_xfs.front() + added + "</" + p + "cellXfs>";
        if (m_xfsElement.end > m_xfsElement.begin)
            edits.push_back({m_xfsElement.begin, m_xfsElement.end, element});
        else
            edits.push_back({m_xfsInsertAt, m_xfsInsertAt, element});
    }

    std::string out;
    out.reserve(m_xml.size() + added.size() + 256);
    std::size_t at = 0;
    std::stable_sort(edits.begin(), edits.end(), [](const Edit &a, const Edit &b) { return a.begin < b.begin; });
    for (const Edit &e : edits) {
        out.append(m_xml, at, e.begin - at);
        out += e.text;
        at = e.end;
    }
    out.append(m_xml, at, std::string::npos);
    return out;
}
