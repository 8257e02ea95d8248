#include "db/sql/SqlExpression.h"

#include "db/jet/Value.h"
#include "db/sql/SqlError.h"

#include <algorithm>
#include <cmath>

namespace sql {

namespace {

bool isNumeric(SqlType t)
{
    return t == SqlType::Number || t == SqlType::Date || t == SqlType::Boolean;
}

// Whether two static types may be compared; NULL compares with anything (to Unknown).
bool comparable(SqlType a, SqlType b)
{
    if (a == SqlType::Null || b == SqlType::Null)
        return true;
    if (isNumeric(a) && isNumeric(b))
        return true;
    return a == SqlType::Text && b == SqlType::Text;
}

Truth fromBool(bool b)
{
    return b ? Truth::True : Truth::False;
}

} // namespace

Expression::Expression(Kind kind, Ptr left, Ptr right)
    : m_kind(kind)
    , m_left(std::move(left))
    , m_right(std::move(right))
{}

Expression::Ptr Expression::column(QString name)
{
    Ptr node(new Expression(Kind::Column));
    node->m_name = std::move(name);
    return node;
}

Expression::Ptr Expression::literal(SqlType type, SqlValue value)
{
    Ptr node(new Expression(Kind::Literal));
    node->m_type = type;
    node->m_value = std::move(value);
    return node;
}

Expression::Ptr Expression::compare(CompareOp op, Ptr left, Ptr right)
{
    Ptr node(new Expression(Kind::Compare, std::move(left), std::move(right)));
    node->m_op = op;
    return node;
}

Expression::Ptr Expression::like(Ptr operand, LikePattern pattern, bool negated)
{
    Ptr node(new Expression(Kind::Like, std::move(operand)));
    node->m_pattern = std::move(pattern);
    node->m_negated = negated;
    return node;
}

Expression::Ptr Expression::isNull(Ptr operand, bool negated)
{
    Ptr node(new Expression(Kind::IsNull, std::move(operand)));
    node->m_negated = negated;
    return node;
}

Expression::Ptr Expression::negation(Ptr operand)
{
    return Ptr(new Expression(Kind::Not, std::move(operand)));
}

Expression::Ptr Expression::logical(Kind kind, Ptr left, Ptr right)
{
    return Ptr(new Expression(kind, std::move(left), std::move(right)));
}

bool Expression::bind(const std::vector<ColumnInfo> &columns, SqlError *error)
{
    if (m_left && !m_left->bind(columns, error))
        return false;
    if (m_right && !m_right->bind(columns, error))
        return false;
    switch (m_kind) {
    case Kind::Column: {
        const auto it = std::find_if(columns.begin(), columns.end(), [this](const ColumnInfo &c) {
            return c.name.compare(m_name, Qt::CaseInsensitive) == 0;
        });
        if (it == columns.end()) {
            *error = SqlError::missingParameter();
            return false;
        }
        m_column = static_cast<int>(it - columns.begin());
        m_type = it->type;
        return true;
    }
    case Kind::Compare:
        if (!comparable(m_left->m_type, m_right->m_type)) {
            *error = SqlError::typeMismatch();
            return false;
        }
        return true;
    case Kind::Like:
        if (m_left->m_type == SqlType::Binary) {
            *error = SqlError::typeMismatch();
            return false;
        }
        return true;
    case Kind::Not:
    case Kind::And:
    case Kind::Or:
        // A bare value used as a condition is true when it is a non-zero number.
        for (const Expression *operand : {m_left.get(), m_right.get()}) {
            if (operand && operand->isValue() && !isNumeric(operand->m_type) && operand->m_type != SqlType::Null) {
                *error = SqlError::typeMismatch();
                return false;
            }
        }
        return true;
    case Kind::Literal:
    case Kind::IsNull:
        return true;
    }
    return true;
}

SqlValue Expression::evaluate(const RowSource &row) const
{
    return m_kind == Kind::Column ? row.value(m_column) : m_value;
}

Truth Expression::test(const RowSource &row) const
{
    switch (m_kind) {
    case Kind::Column:
    case Kind::Literal: {
        const SqlValue v = evaluate(row);
        if (v.isNull())
            return Truth::Unknown;
        return fromBool(v.number != 0.0);
    }
    case Kind::Compare: {
        const SqlValue a = m_left->evaluate(row);
        const SqlValue b = m_right->evaluate(row);
        if (a.isNull() || b.isNull())
            return Truth::Unknown;
        int c = 0;
        if (a.kind == SqlValue::Kind::Text && b.kind == SqlValue::Kind::Text)
            c = a.text.compare(b.text, Qt::CaseInsensitive);
        else if (a.kind != SqlValue::Kind::Text && b.kind != SqlValue::Kind::Text) {
            // NaN (a Double column can hold one) is unordered: it is neither equal to, less
            // than nor greater than any number, so of the comparisons only <> holds.
            if (std::isnan(a.number) || std::isnan(b.number))
                return fromBool(m_op == CompareOp::NotEqual);
            c = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
        } else
            return Truth::Unknown; // mixed kinds in one row (a damaged value): no match
        switch (m_op) {
        case CompareOp::Equal:
            return fromBool(c == 0);
        case CompareOp::NotEqual:
            return fromBool(c != 0);
        case CompareOp::Less:
            return fromBool(c < 0);
        case CompareOp::LessEqual:
            return fromBool(c <= 0);
        case CompareOp::Greater:
            return fromBool(c > 0);
        case CompareOp::GreaterEqual:
            return fromBool(c >= 0);
        }
        return Truth::Unknown;
    }
    case Kind::Like: {
        if (m_left->m_kind == Kind::Column && m_pattern.answersLatin1()) {
            if (const auto bytes = row.latin1Text(m_left->m_column)) {
                if (const auto match = m_pattern.matchesLatin1(*bytes))
                    return fromBool(*match != m_negated);
            }
        }
        const SqlValue v = m_left->evaluate(row);
        if (v.isNull() || v.kind == SqlValue::Kind::Binary)
            return Truth::Unknown;
        // Numbers and dates are matched by the text Jet gives them: a date by its calendar
        // text, not its day count.
        QString text = v.text;
        if (v.kind != SqlValue::Kind::Text)
            (v.kind == SqlValue::Kind::Date ? jet::Value::dateTime(v.number) : jet::Value::real(v.number))
                .toText(&text);
        const bool match = m_pattern.matches(text);
        return fromBool(match != m_negated);
    }
    case Kind::IsNull:
        return fromBool(m_left->evaluate(row).isNull() != m_negated);
    case Kind::Not: {
        const Truth t = m_left->test(row);
        return t == Truth::Unknown ? t : fromBool(t == Truth::False);
    }
    case Kind::And: {
        const Truth a = m_left->test(row);
        if (a == Truth::False)
            return a;
        const Truth b = m_right->test(row);
        if (b == Truth::False)
            return b;
        return a == Truth::True && b == Truth::True ? Truth::True : Truth::Unknown;
    }
    case Kind::Or: {
        const Truth a = m_left->test(row);
        if (a == Truth::True)
            return a;
        const Truth b = m_right->test(row);
        if (b == Truth::True)
            return b;
        return a == Truth::False && b == Truth::False ? Truth::False : Truth::Unknown;
    }
    }
    return Truth::Unknown;
}

void Expression::collectColumns(std::vector<int> &columns) const
{
    if (m_kind == Kind::Column && std::find(columns.begin(), columns.end(), m_column) == columns.end())
        columns.push_back(m_column);
    if (m_left)
        m_left->collectColumns(columns);
    if (m_right)
        m_right->collectColumns(columns);
}

} // namespace sql
