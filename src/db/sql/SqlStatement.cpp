#include "db/sql/SqlStatement.h"

#include "db/jet/JetDate.h"
#include "db/sql/SqlError.h"
#include "db/sql/SqlLexer.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>

namespace sql {

namespace {

// Statements Jet knows but this engine does not run.
const char *const kUnsupportedVerbs[] = {"INSERT",    "UPDATE",    "CREATE",     "DROP",  "ALTER",
                                         "TRANSFORM", "PROCEDURE", "PARAMETERS", "GRANT", "REVOKE"};

// Recursive-descent parser over the token list. Conditions nest at most this deep, so a
// hostile statement cannot exhaust the stack.
constexpr int kMaxDepth = 200;
// A chain of AND and OR builds a tree one level deeper per operator, and binding,
// evaluation and destruction recurse through it: a statement may hold this many at most.
constexpr int kMaxOperators = 1000;

class Parser
{
public:
    Parser(const QString &text, std::vector<Token> tokens) : m_text(text), m_tokens(std::move(tokens)) {}

    bool parseStatement(Statement *st, SqlError *error);

private:
    const Token &peek(size_t ahead = 0) const { return m_tokens[std::min(m_pos + ahead, m_tokens.size() - 1)]; }
    const Token &next() { return m_tokens[std::min(m_pos++, m_tokens.size() - 1)]; }

    bool parseTableName(Statement *st, SqlError *error);
    bool parseWhere(Statement *st, SqlError *error);
    bool parseOrderBy(Statement *st, SqlError *error);
    bool parseEnd(SqlError *error);

    // A run of `operand`s joined by `keyword` (AND, OR), grouped from the left.
    std::unique_ptr<Expression> parseChain(const char *keyword, Expression::Kind kind, int depth,
                                           std::unique_ptr<Expression> (Parser::*operand)(int));
    std::unique_ptr<Expression> parseOr(int depth);
    std::unique_ptr<Expression> parseAnd(int depth);
    std::unique_ptr<Expression> parseNot(int depth);
    std::unique_ptr<Expression> parsePredicate(int depth);
    std::unique_ptr<Expression> parseOperand(int depth);

    // "Syntax error ... in query expression '<condition text>'."
    SqlError expressionError() const;
    static bool isClauseKeyword(const Token &t) { return t.isWord(QLatin1String("ORDER")); }

    const QString &m_text;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    int m_operators = 0; // AND and OR so far
    qsizetype m_conditionStart = 0;
    enum class Fault : quint8 { None, Operator, String, Date, Pattern } m_fault = Fault::None;
};

bool Parser::parseStatement(Statement *st, SqlError *error)
{
    const Token &verb = next();
    if (verb.isWord(QLatin1String("SELECT"))) {
        st->kind = Statement::Kind::Select;
        if (!next().isSymbol(QLatin1String("*"))) {
            *error = SqlError::syntax(
                QStringLiteral("The SELECT statement includes a reserved word or an argument name that is misspelled "
                               "or missing, or the punctuation is incorrect."));
            return false;
        }
    } else if (verb.isWord(QLatin1String("DELETE"))) {
        st->kind = Statement::Kind::Delete;
        if (peek().isSymbol(QLatin1String("*")))
            next();
    } else {
        for (const char *unsupported : kUnsupportedVerbs) {
            if (verb.isWord(QLatin1String(unsupported))) {
                *error = SqlError::general(QStringLiteral("Operation must use an updateable query."));
                return false;
            }
        }
        *error = SqlError::syntax(
            QStringLiteral("Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."));
        return false;
    }
    if (!next().isWord(QLatin1String("FROM")) || !parseTableName(st, error)) {
        *error = SqlError::syntax(QStringLiteral("Syntax error in FROM clause."));
        return false;
    }
    if (peek().isWord(QLatin1String("WHERE")) && !parseWhere(st, error))
        return false;
    if (st->kind == Statement::Kind::Select && peek().isWord(QLatin1String("ORDER")) && !parseOrderBy(st, error))
        return false;
    return parseEnd(error);
}

bool Parser::parseTableName(Statement *st, SqlError *)
{
    const Token &name = next();
    if (name.type != Token::Type::Word && name.type != Token::Type::Name)
        return false;
    if (name.type == Token::Type::Word && (name.isWord(QLatin1String("WHERE")) || name.isWord(QLatin1String("ORDER"))))
        return false;
    st->table = name.text;
    // One table only: joins, lists of tables and aliases are not part of the subset.
    const Token &after = peek();
    return after.type == Token::Type::End || after.isSymbol(QLatin1String(";")) || after.isWord(QLatin1String("WHERE"))
           || after.isWord(QLatin1String("ORDER"));
}

bool Parser::parseWhere(Statement *st, SqlError *error)
{
    next(); // WHERE
    m_conditionStart = peek().start;
    st->where = parseOr(0);
    if (!st->where) {
        *error = expressionError();
        return false;
    }
    const Token &after = peek();
    if (after.type != Token::Type::End && !after.isSymbol(QLatin1String(";")) && !isClauseKeyword(after)) {
        if (after.type == Token::Type::Unterminated)
            m_fault = Fault::String;
        *error = expressionError();
        return false;
    }
    return true;
}

bool Parser::parseOrderBy(Statement *st, SqlError *error)
{
    next(); // ORDER
    if (!next().isWord(QLatin1String("BY"))) {
        *error = SqlError::syntax(QStringLiteral("Syntax error in ORDER BY clause."));
        return false;
    }
    for (;;) {
        const Token &name = next();
        if (name.type != Token::Type::Word && name.type != Token::Type::Name) {
            *error = SqlError::syntax(QStringLiteral("Syntax error in ORDER BY clause."));
            return false;
        }
        Statement::OrderKey key;
        key.name = name.text;
        if (peek().isWord(QLatin1String("ASC"))) {
            next();
        } else if (peek().isWord(QLatin1String("DESC"))) {
            next();
            key.descending = true;
        }
        st->orderBy.push_back(key);
        if (!peek().isSymbol(QLatin1String(",")))
            break;
        next();
    }
    const Token &after = peek();
    if (after.type != Token::Type::End && !after.isSymbol(QLatin1String(";"))) {
        *error = SqlError::syntax(QStringLiteral("Syntax error in ORDER BY clause."));
        return false;
    }
    return true;
}

bool Parser::parseEnd(SqlError *error)
{
    if (peek().isSymbol(QLatin1String(";"))) {
        next();
        if (peek().type != Token::Type::End) {
            *error = SqlError::syntax(QStringLiteral("Characters found after end of SQL statement."));
            return false;
        }
        return true;
    }
    if (peek().type != Token::Type::End) {
        *error = peek().isWord(QLatin1String("ORDER"))
                     ? SqlError::syntax(QStringLiteral("Syntax error in ORDER BY clause."))
                     : SqlError::syntax(QStringLiteral("Syntax error in FROM clause."));
        return false;
    }
    return true;
}

SqlError Parser::expressionError() const
{
    // The condition as the user wrote it, up to a following clause or the end.
    qsizetype end = m_text.size();
    for (size_t i = m_pos; i < m_tokens.size(); ++i) {
        if (m_tokens[i].start >= m_conditionStart
            && (isClauseKeyword(m_tokens[i]) || m_tokens[i].isSymbol(QLatin1String(";")))
            && m_tokens[i].type != Token::Type::Unterminated) {
            end = m_tokens[i].start;
            break;
        }
    }
    const QString condition = m_text.mid(m_conditionStart, end - m_conditionStart).trimmed();
    switch (m_fault) {
    case Fault::String:
        return SqlError::syntax(QStringLiteral("Syntax error in string in query expression '%1'.").arg(condition));
    case Fault::Date:
        return SqlError::syntax(QStringLiteral("Syntax error in date in query expression '%1'.").arg(condition));
    case Fault::Pattern:
        return SqlError::general(QStringLiteral("Invalid pattern string."));
    case Fault::Operator:
    case Fault::None:
        break;
    }
    return SqlError::syntax(QStringLiteral("Syntax error (missing operator) in query expression '%1'.").arg(condition));
}

std::unique_ptr<Expression> Parser::parseChain(const char *keyword, Expression::Kind kind, int depth,
                                               std::unique_ptr<Expression> (Parser::*operand)(int))
{
    auto left = (this->*operand)(depth);
    while (left && peek().isWord(QLatin1String(keyword))) {
        if (++m_operators > kMaxOperators)
            return nullptr;
        next();
        auto right = (this->*operand)(depth);
        if (!right)
            return nullptr;
        left = Expression::logical(kind, std::move(left), std::move(right));
    }
    return left;
}

std::unique_ptr<Expression> Parser::parseOr(int depth)
{
    return parseChain("OR", Expression::Kind::Or, depth, &Parser::parseAnd);
}

std::unique_ptr<Expression> Parser::parseAnd(int depth)
{
    return parseChain("AND", Expression::Kind::And, depth, &Parser::parseNot);
}

std::unique_ptr<Expression> Parser::parseNot(int depth)
{
    if (depth > kMaxDepth)
        return nullptr;
    if (peek().isWord(QLatin1String("NOT"))) {
        next();
        auto operand = parseNot(depth + 1);
        return operand ? Expression::negation(std::move(operand)) : nullptr;
    }
    return parsePredicate(depth);
}

std::unique_ptr<Expression> Parser::parsePredicate(int depth)
{
    auto left = parseOperand(depth);
    if (!left)
        return nullptr;
    const Token &t = peek();
    static const std::pair<const char *, Expression::CompareOp> kOperators[] = {
        {"=", Expression::CompareOp::Equal},   {"<>", Expression::CompareOp::NotEqual},
        {"<", Expression::CompareOp::Less},    {"<=", Expression::CompareOp::LessEqual},
        {">", Expression::CompareOp::Greater}, {">=", Expression::CompareOp::GreaterEqual},
    };
    for (const auto &[symbol, op] : kOperators) {
        if (t.isSymbol(QLatin1String(symbol))) {
            next();
            auto right = parseOperand(depth);
            return right ? Expression::compare(op, std::move(left), std::move(right)) : nullptr;
        }
    }
    bool negated = false;
    if (t.isWord(QLatin1String("NOT")) && peek(1).isWord(QLatin1String("LIKE"))) {
        next();
        negated = true;
    }
    if (peek().isWord(QLatin1String("LIKE"))) {
        next();
        const Token &pattern = next();
        if (pattern.type == Token::Type::Unterminated) {
            m_fault = Fault::String;
            return nullptr;
        }
        if (pattern.type != Token::Type::String)
            return nullptr;
        LikePattern compiled;
        if (!compiled.compile(pattern.text)) {
            m_fault = Fault::Pattern;
            return nullptr;
        }
        return Expression::like(std::move(left), std::move(compiled), negated);
    }
    if (negated)
        return nullptr;
    if (peek().isWord(QLatin1String("IS"))) {
        next();
        const bool isNot = peek().isWord(QLatin1String("NOT"));
        if (isNot)
            next();
        if (!next().isWord(QLatin1String("NULL")))
            return nullptr;
        return Expression::isNull(std::move(left), isNot);
    }
    return left;
}

std::unique_ptr<Expression> Parser::parseOperand(int depth)
{
    if (depth > kMaxDepth)
        return nullptr;
    const Token &t = next();
    switch (t.type) {
    case Token::Type::Symbol:
        if (t.text == u'(') {
            auto inner = parseOr(depth + 1);
            if (!inner || !next().isSymbol(QLatin1String(")")))
                return nullptr;
            return inner;
        }
        if (t.text == u'-' && peek().type == Token::Type::Number)
            return Expression::literal(SqlType::Number, SqlValue::fromNumber(-next().text.toDouble()));
        return nullptr;
    case Token::Type::Number:
        return Expression::literal(SqlType::Number, SqlValue::fromNumber(t.text.toDouble()));
    case Token::Type::String:
        return Expression::literal(SqlType::Text, SqlValue::fromText(t.text));
    case Token::Type::Date: {
        double days = 0;
        if (!parseDateLiteral(t.text, &days)) {
            m_fault = Fault::Date;
            return nullptr;
        }
        return Expression::literal(SqlType::Date, SqlValue::fromDate(days));
    }
    case Token::Type::Word:
        if (t.isWord(QLatin1String("NULL")))
            return Expression::literal(SqlType::Null, SqlValue::null());
        if (t.isWord(QLatin1String("TRUE")) || t.isWord(QLatin1String("FALSE")))
            return Expression::literal(SqlType::Boolean,
                                       SqlValue::fromNumber(t.isWord(QLatin1String("TRUE")) ? -1.0 : 0.0));
        for (const char *reserved : {"AND", "OR", "NOT", "LIKE", "IS", "ORDER", "WHERE", "FROM", "SELECT"}) {
            if (t.isWord(QLatin1String(reserved)))
                return nullptr;
        }
        [[fallthrough]];
    case Token::Type::Name:
        return Expression::column(t.text);
    case Token::Type::Unterminated:
        m_fault = m_text.at(t.start) == u'#' ? Fault::Date : Fault::String;
        return nullptr;
    case Token::Type::End:
    case Token::Type::Invalid:
        return nullptr;
    }
    return nullptr;
}

} // namespace

bool parseDateLiteral(const QString &text, double *days)
{
    static const QRegularExpression isoDate(
        QStringLiteral(R"(^\s*(\d{1,4})[-/](\d{1,2})[-/](\d{1,2})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    static const QRegularExpression usDate(
        QStringLiteral(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{1,4})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    int year = 0, month = 0, day = 0;
    QRegularExpressionMatch m = isoDate.match(text);
    if (m.hasMatch() && m.capturedLength(1) >= 3) {
        year = m.captured(1).toInt();
        month = m.captured(2).toInt();
        day = m.captured(3).toInt();
    } else {
        m = usDate.match(text);
        if (!m.hasMatch())
            return false;
        month = m.captured(1).toInt();
        day = m.captured(2).toInt();
        year = m.captured(3).toInt();
        if (m.capturedLength(3) <= 2)
            year += year < 30 ? 2000 : 1900; // two-digit years as Jet reads them
    }
    const int hour = m.captured(4).toInt();
    const int minute = m.captured(5).toInt();
    const int second = m.captured(6).toInt();
    const QDate date(year, month, day);
    if (year < 100 || !date.isValid() || hour > 23 || minute > 59 || second > 59)
        return false;
    *days = jet::JetDate::fromDateTime(date, QTime(hour, minute, second));
    return true;
}

bool Statement::bind(const std::vector<ColumnInfo> &columns, SqlError *error)
{
    if (where && !where->bind(columns, error))
        return false;
    for (OrderKey &key : orderBy) {
        const auto it = std::find_if(columns.begin(), columns.end(), [&key](const ColumnInfo &c) {
            return c.name.compare(key.name, Qt::CaseInsensitive) == 0;
        });
        if (it == columns.end()) {
            *error = SqlError::missingParameter();
            return false;
        }
        key.column = static_cast<int>(it - columns.begin());
    }
    return true;
}

std::vector<int> Statement::referencedColumns() const
{
    std::vector<int> columns;
    if (where)
        where->collectColumns(columns);
    for (const OrderKey &key : orderBy) {
        if (std::find(columns.begin(), columns.end(), key.column) == columns.end())
            columns.push_back(key.column);
    }
    return columns;
}

bool parse(const QString &text, Statement *statement, SqlError *error)
{
    *statement = Statement();
    Parser parser(text, tokenize(text));
    return parser.parseStatement(statement, error);
}

} // namespace sql
