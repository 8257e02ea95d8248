#pragma once
// A small pull scanner over an XML document held in memory (UTF-8).
//
// The workbook writer rewrites a few elements of the template's parts and copies everything
// else byte for byte, so it needs the byte ranges of the elements it looks at rather than a
// tree; the language file is measured with it before the XML library, which recurses, may
// parse it. Tokens are views into the document; nothing is copied or decoded until asked
// for.

#include <QString>

#include <cstddef>
#include <string_view>
#include <vector>

struct XmlAttribute
{
    std::string_view name;  // qualified name as written, e.g. "r:id"
    std::string_view value; // raw value between the quotes, entities not yet decoded
    std::string_view raw;   // the whole name="value" text
};

struct XmlToken
{
    enum Kind { StartTag, EndTag, Text, Other };

    Kind kind = Other;
    std::string_view raw;        // the whole token as written
    std::string_view name;       // qualified tag name (start and end tags)
    std::string_view attributes; // text between the tag name and ">" or "/>"
    bool selfClosing = false;    // <name .../>

    // The name without its namespace prefix.
    std::string_view LocalName() const;
    // The prefix including its colon ("x:"), or empty.
    std::string_view Prefix() const;
    bool Is(Kind k, std::string_view localName) const { return kind == k && LocalName() == localName; }
};

class XmlScanner
{
public:
    explicit XmlScanner(std::string_view document);

    // Reads the next token. Returns false at the end of the document and on malformed markup;
    // Failed() tells the two apart.
    bool Next(XmlToken &token);
    bool Failed() const { return m_failed; }

    // After a start tag was read: skips its content up to and including the matching end
    // tag. Returns false on malformed markup, including end tags that do not match. ContentEnd() then tells where the content
    // ended (the offset of the end tag; for a self-closing tag, the offset after it).
    bool SkipElement(const XmlToken &start);
    std::size_t ContentEnd() const { return m_contentEnd; }

    // Reads the next token inside the element `parent` (whose start tag was just read, or
    // whose previous child was read or skipped). Returns false at the parent's end tag, with
    // ContentEnd() at that tag, and on malformed markup or a missing end tag (Failed()).
    // Child elements the caller does not descend into must be skipped with SkipElement().
    bool NextChild(const XmlToken &parent, XmlToken &child);

    // Calls visit(child) for each child element of `parent` (whose start tag was just read)
    // in document order, passing over text and comments. visit must read or skip the
    // child's content, and returns false to stop. False when visit stops or the markup is
    // malformed (Failed()); true at the parent's end tag, with ContentEnd() there.
    template <typename Visit>
    bool ForEachChild(const XmlToken &parent, Visit &&visit)
    {
        XmlToken child;
        while (NextChild(parent, child)) {
            if (child.kind == XmlToken::StartTag && !visit(child))
                return false;
        }
        return !m_failed;
    }

    // Byte offset of a view into the document.
    std::size_t Offset(std::string_view part) const { return std::size_t(part.data() - m_doc.data()); }
    // Byte offset of the next unread byte.
    std::size_t Position() const { return m_pos; }

    // Splits the attribute text of a start tag. Returns false when it is malformed.
    static bool ParseAttributes(std::string_view text, std::vector<XmlAttribute> &out);
    // The raw value of the attribute with this qualified name, or nullptr.
    static const XmlAttribute *Find(const std::vector<XmlAttribute> &attributes, std::string_view name);
    // Decodes entity and character references of attribute values and text.
    static QString Decode(std::string_view raw);
    // Parses a non-negative decimal attribute value; -1 when it is not one.
    static long long ToNumber(std::string_view raw);

private:
    bool Fail();

    std::string_view m_doc;
    std::size_t m_pos = 0;
    std::size_t m_contentEnd = 0;
    bool m_failed = false;
};
