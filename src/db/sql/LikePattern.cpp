#include "db/sql/LikePattern.h"

#include <algorithm>
#include <string_view>

namespace sql {

namespace {

char32_t fold(char32_t c)
{
    return QChar::toCaseFolded(c);
}

// Splits UTF-16 into code points, so that "_" takes a surrogate pair as one character.
std::u32string foldedCodePoints(QStringView text)
{
    std::u32string out;
    out.reserve(static_cast<size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        out.push_back(fold(c));
    }
    return out;
}

// Whether c has no case: nothing else folds to it and it folds to itself. A needle of such
// characters (digits, most punctuation, CJK) is found by plain comparison.
bool isCaseless(char32_t c)
{
    static const std::vector<bool> foldTarget = [] {
        std::vector<bool> target(0x10000);
        for (char32_t u = 0; u < 0x10000; ++u) {
            const char32_t f = fold(u);
            if (f != u) {
                target[u] = true;
                if (f < 0x10000)
                    target[f] = true;
            }
        }
        return target;
    }();
    const bool surrogate = c >= 0xD800 && c <= 0xDFFF; // only whole pairs count as characters
    return c < 0x10000 && !surrogate && !foldTarget[c];
}

} // namespace

bool LikePattern::compile(const QString &pattern)
{
    m_elements.clear();
    const std::u32string p = foldedCodePoints(pattern);
    for (size_t i = 0; i < p.size(); ++i) {
        Element e;
        switch (p[i]) {
        case U'%':
            e.op = Op::AnyRun;
            if (!m_elements.empty() && m_elements.back().op == Op::AnyRun)
                continue; // "%%" is the same as "%"
            break;
        case U'_':
            e.op = Op::AnyOne;
            break;
        case U'[': {
            const size_t close = p.find(U']', i + 1);
            if (close == std::u32string::npos)
                return false;
            e.op = Op::Set;
            size_t j = i + 1;
            if (j < close && p[j] == U'!') {
                e.negated = true;
                ++j;
            }
            for (; j < close; ++j) {
                if (j + 2 < close && p[j + 1] == U'-') {
                    e.ranges.emplace_back(p[j], p[j + 2]);
                    j += 2;
                } else {
                    e.ranges.emplace_back(p[j], p[j]);
                }
            }
            // "[]" matches nothing, "[!]" any one character; both are valid in Jet.
            i = close;
            break;
        }
        default:
            e.op = Op::Char;
            e.ch = p[i];
        }
        m_elements.push_back(std::move(e));
    }

    // Recognise the plain shapes: wildcards only at the ends, literal characters between.
    const bool leadingRun = !m_elements.empty() && m_elements.front().op == Op::AnyRun;
    const bool trailingRun = m_elements.size() > 1 && m_elements.back().op == Op::AnyRun;
    const size_t first = leadingRun ? 1 : 0;
    const size_t last = m_elements.size() - (trailingRun ? 1 : 0);
    bool plain = true;
    std::u32string needle;
    for (size_t k = first; k < last; ++k) {
        if (m_elements[k].op != Op::Char) {
            plain = false;
            break;
        }
        needle.push_back(m_elements[k].ch);
    }
    m_shape = Shape::General;
    m_latin1Needle.reset();
    if (plain) {
        m_needle = QString::fromUcs4(needle.data(), static_cast<qsizetype>(needle.size()));
        m_needleCase = std::all_of(needle.begin(), needle.end(), isCaseless) ? Qt::CaseSensitive : Qt::CaseInsensitive;
        const bool latin1 = std::all_of(needle.begin(), needle.end(), [](char32_t c) { return c <= 0xFF; });
        if (m_needleCase == Qt::CaseSensitive && latin1)
            m_latin1Needle = m_needle.toLatin1();
        if (leadingRun && needle.empty())
            m_shape = Shape::Anything;
        else if (leadingRun && trailingRun)
            m_shape = Shape::Contains;
        else if (leadingRun)
            m_shape = Shape::Suffix;
        else if (trailingRun)
            m_shape = Shape::Prefix;
        else
            m_shape = Shape::Exact;
    }
    return true;
}

bool LikePattern::elementMatches(const Element &e, char32_t c)
{
    switch (e.op) {
    case Op::Char:
        return e.ch == c;
    case Op::AnyOne:
        return true;
    case Op::Set: {
        bool inSet = false;
        for (const auto &[from, to] : e.ranges)
            inSet = inSet || (c >= from && c <= to);
        return inSet != e.negated;
    }
    case Op::AnyRun:
        break;
    }
    return false;
}

bool LikePattern::matches(QStringView text) const
{
    switch (m_shape) {
    case Shape::Anything:
        return true;
    case Shape::Contains:
        return text.contains(m_needle, m_needleCase);
    case Shape::Prefix:
        return text.startsWith(m_needle, m_needleCase);
    case Shape::Suffix:
        return text.endsWith(m_needle, m_needleCase);
    case Shape::Exact:
        return text.compare(m_needle, m_needleCase) == 0;
    case Shape::General:
        break;
    }
    return matchesGeneral(text);
}

std::optional<bool> LikePattern::matchesLatin1(QByteArrayView bytes) const
{
    if (!m_latin1Needle)
        return std::nullopt;
    // std::string_view's search (memchr for the first byte, then a compare) is several
    // times quicker than QByteArrayView's on the short texts of a table.
    const std::string_view text(bytes.data(), size_t(bytes.size()));
    const std::string_view needle(m_latin1Needle->constData(), size_t(m_latin1Needle->size()));
    switch (m_shape) {
    case Shape::Anything:
        return true;
    case Shape::Contains:
        return text.find(needle) != std::string_view::npos;
    case Shape::Prefix:
        return text.substr(0, needle.size()) == needle;
    case Shape::Suffix:
        return text.size() >= needle.size() && text.substr(text.size() - needle.size()) == needle;
    case Shape::Exact:
        return text == needle;
    case Shape::General:
        break;
    }
    return std::nullopt;
}

// Wildcard matching that remembers only the last "%": on a mismatch it lets that "%"
// swallow one more character. Linear in the text for each "%", never exponential.
bool LikePattern::matchesGeneral(QStringView text) const
{
    const std::u32string s = foldedCodePoints(text);
    size_t si = 0, pi = 0;
    size_t starPattern = SIZE_MAX, starText = 0;
    while (si < s.size()) {
        if (pi < m_elements.size() && m_elements[pi].op == Op::AnyRun) {
            starPattern = pi++;
            starText = si;
        } else if (pi < m_elements.size() && elementMatches(m_elements[pi], s[si])) {
            ++pi;
            ++si;
        } else if (starPattern != SIZE_MAX) {
            pi = starPattern + 1;
            si = ++starText;
        } else {
            return false;
        }
    }
    while (pi < m_elements.size() && m_elements[pi].op == Op::AnyRun)
        ++pi;
    return pi == m_elements.size();
}

} // namespace sql
