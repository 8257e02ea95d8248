#pragma once
// The cell formats of a workbook's style part, and the few the workbook writer adds: a cell's
// own format combined with the date-time number format, or with the text marker that a
// leading apostrophe sets in Excel ("quote prefix").
//
// The part is kept as it was written; new formats are appended to <cellXfs> (and the number
// format to <numFmts>), so every existing format index stays valid.

#include "xml/XmlScanner.h"

#include <QString>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class WorkbookStyles
{
public:
    enum Variant { DateTime, QuotePrefix };

    // The number format of exported start times.
    static constexpr std::string_view kDateTimeFormat = "yyyy-mm-dd hh:mm:ss";

    // A style part with only the default format, for a workbook that has none.
    static std::string MinimalStyleSheet();

    bool Parse(std::string xml);
    QString ErrorText() const { return m_error; }

    // Index of the cell format that is `base` combined with `variant`; added on first use.
    int Derived(int base, Variant variant);
    bool Changed() const { return !m_newXfs.empty(); }
    // The style part with the added formats.
    std::string Result() const;

private:
    // Counts a <numFmt> and notes its id and whether it is the date-time format; false when
    // its attributes are malformed. `attributes` is scratch space.
    bool ReadNumberFormat(const XmlToken &numFmt, std::vector<XmlAttribute> &attributes);

    struct Range
    {
        std::size_t begin = 0;
        std::size_t end = 0;
    };

    std::string m_xml;
    std::string m_prefix;
    std::size_t m_rootOpenEnd = 0;
    QString m_error;

    bool m_hasNumFmts = false;
    bool m_numFmtsSelfClosing = false;
    Range m_numFmtsStartTag;
    std::size_t m_numFmtsEndTag = 0;
    int m_numFmtCount = 0;
    int m_dateFormatId = -1;  // an existing number format with kDateTimeFormat
    int m_nextFormatId = 164; // first free id for a custom number format

    bool m_hasXfs = false; // <cellXfs> with its own start and end tag
    Range m_xfsElement;    // the whole <cellXfs> element (self-closing or missing: empty range)
    Range m_xfsStartTag;
    std::size_t m_xfsEndTag = 0;
    std::size_t m_xfsInsertAt = 0;  // where a missing <cellXfs> goes
    std::vector<std::string> m_xfs; // each cell format as written

    std::vector<std::string> m_newXfs;
    std::map<std::pair<int, int>, int> m_derived;
};
