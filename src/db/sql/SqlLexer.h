#pragma once

#include <QString>

#include <vector>

namespace sql {

struct Token
{
    enum class Type : quint8 {
        End,
        Word, // keyword or bare name
        Name, // [bracketed name]
        Number,
        String,       // '...' or "..."
        Date,         // #...#, text between the signs
        Symbol,       // = <> < <= > >= ( ) , * ;
        Unterminated, // a string, name or date without its closing character
        Invalid,      // a character the dialect does not know
    };
    Type type = Type::End;
    QString text;        // the value: unquoted string, name without brackets, symbol, number text
    qsizetype start = 0; // position in the statement
    qsizetype end = 0;

    bool isWord(QLatin1String keyword) const
    {
        return type == Type::Word && text.compare(keyword, Qt::CaseInsensitive) == 0;
    }
    bool isSymbol(QLatin1String symbol) const { return type == Type::Symbol && text == symbol; }
};

// Splits a statement into tokens; never fails (bad input becomes Unterminated or Invalid
// tokens that the parser reports).
std::vector<Token> tokenize(const QString &statement);

} // namespace sql
