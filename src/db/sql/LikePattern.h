#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <string>
#include <vector>

namespace sql {

// A LIKE pattern with the ANSI-92 wildcards of Jet's OLE DB provider: % any run of
// characters, _ one character, [abc] [a-z] one of a set, [!abc] one not in a set.
// Matching ignores letter case in all scripts (characters are compared case-folded).
// NULL never matches; the caller tests for it.
class LikePattern
{
public:
    // False for a malformed pattern (an unclosed "[").
    bool compile(const QString &pattern);
    bool matches(QStringView text) const;
    // The same answer for a text of Latin-1 characters given one byte each, where the pattern
    // allows it: a plain shape whose needle has no case and lies in Latin-1. Otherwise
    // nothing, and the text must be decoded for matches().
    std::optional<bool> matchesLatin1(QByteArrayView bytes) const;
    bool answersLatin1() const { return m_latin1Needle.has_value(); }

private:
    enum class Op : quint8 { Char, AnyOne, AnyRun, Set };
    struct Element
    {
        Op op = Op::Char;
        bool negated = false;
        char32_t ch = 0;                                   // Char: the folded character
        std::vector<std::pair<char32_t, char32_t>> ranges; // Set: inclusive, folded
    };

    bool matchesGeneral(QStringView text) const;
    static bool elementMatches(const Element &e, char32_t c);

    std::vector<Element> m_elements;
    // Fast paths for the searches the query window builds ("%text%") and their kin.
    enum class Shape : quint8 { General, Contains, Prefix, Suffix, Exact, Anything };
    Shape m_shape = Shape::General;
    QString m_needle;
    // Plain comparison finds a needle whose characters have no case, and is much faster.
    Qt::CaseSensitivity m_needleCase = Qt::CaseInsensitive;
    // The needle as Latin-1 bytes, when matchesLatin1() can answer.
    std::optional<QByteArray> m_latin1Needle;
};

} // namespace sql
