#include "db/sql/SqlLexer.h"

namespace sql {

namespace {

bool isNameStart(QChar c)
{
    return c.isLetter() || c == u'_';
}

bool isNamePart(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

std::vector<Token> tokenize(const QString &s)
{
    std::vector<Token> tokens;
    const qsizetype n = s.size();
    qsizetype i = 0;
    auto push = [&](Token::Type type, QString text, qsizetype start, qsizetype end) {
        tokens.push_back({type, std::move(text), start, end});
    };

    while (i < n) {
        const QChar c = s[i];
        const qsizetype start = i;
        if (c.isSpace()) {
            ++i;
        } else if (isNameStart(c)) {
            while (i < n && isNamePart(s[i]))
                ++i;
            push(Token::Type::Word, s.mid(start, i - start), start, i);
        } else if (c.isDigit() || (c == u'.' && i + 1 < n && s[i + 1].isDigit())) {
            while (i < n && s[i].isDigit())
                ++i;
            if (i < n && s[i] == u'.') {
                ++i;
                while (i < n && s[i].isDigit())
                    ++i;
            }
            if (i < n && (s[i] == u'e' || s[i] == u'E')) {
                qsizetype j = i + 1;
                if (j < n && (s[j] == u'+' || s[j] == u'-'))
                    ++j;
                if (j < n && s[j].isDigit()) {
                    i = j;
                    while (i < n && s[i].isDigit())
                        ++i;
                }
            }
            push(Token::Type::Number, s.mid(start, i - start), start, i);
        } else if (c == u'\'' || c == u'"') {
            // A doubled quote inside the string stands for one quote character.
            QString value;
            ++i;
            bool closed = false;
            while (i < n) {
                if (s[i] == c) {
                    if (i + 1 < n && s[i + 1] == c) {
                        value += c;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += s[i++];
            }
            push(closed ? Token::Type::String : Token::Type::Unterminated, value, start, i);
        } else if (c == u'[' || c == u'#') {
            const QChar close = c == u'[' ? u']' : u'#';
            const qsizetype end = s.indexOf(close, i + 1);
            if (end < 0) {
                push(Token::Type::Unterminated, s.mid(i + 1), start, n);
                i = n;
            } else {
                push(c == u'[' ? Token::Type::Name : Token::Type::Date, s.mid(i + 1, end - i - 1), start, end + 1);
                i = end + 1;
            }
        } else if (c == u'<' || c == u'>') {
            ++i;
            if (i < n && (s[i] == u'=' || (c == u'<' && s[i] == u'>')))
                ++i;
            push(Token::Type::Symbol, s.mid(start, i - start), start, i);
        } else if (QStringView(u"=(),*;-").contains(c)) {
            ++i;
            push(Token::Type::Symbol, QString(c), start, i);
        } else {
            ++i;
            push(Token::Type::Invalid, QString(c), start, i);
        }
    }
    tokens.push_back({Token::Type::End, QString(), n, n});
    return tokens;
}

} // namespace sql
