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

bool Expression::bind(const std::vector<ColumnInfo> &columns, SqlError *error)
{
    if (left && !left->bind(columns, error))
        return false;
    if (right && !right->bind(columns, error))
        return false;
    switch (kind) {
    case Kind::Column: {
        const auto it = std::find_if(columns.begin(), columns.end(), [this](const ColumnInfo &c) {
            return c.name.compare(name, Qt::CaseInsensitive) == 0;
        });
        if (it == columns.end()) {
            *error = SqlError::missingParameter();
            return false;
        }
        column = static_cast<int>(it - columns.begin());
        type = it->type;
        return true;
    }
    case Kind::Compare:
        if (!comparable(left->type, right->type)) {
            *error = SqlError::typeMismatch();
            return false;
        }
        return true;
    case Kind::Like:
        if (left->type == SqlType::Binary) {
            *error = SqlError::typeMismatch();
            return false;
        }
        return true;
    case Kind::Not:
    case Kind::And:
    case Kind::Or:
        // A bare value used as a condition is true when it is a non-zero number.
        for (const Expression *operand : {left.get(), right.get()}) {
            if (operand && operand->isValue() && !isNumeric(operand->type) && operand->type != SqlType::Null) {
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
    return kind == Kind::Column ? row.value(column) : value;
}

Truth Expression::test(const RowSource &row) const
{
    switch (kind) {
    case Kind::Column:
    case Kind::Literal: {
        const SqlValue v = evaluate(row);
        if (v.isNull())
            return Truth::Unknown;
        return fromBool(v.number != 0.0);
    }
    case Kind::Compare: {
        const SqlValue a = left->evaluate(row);
        const SqlValue b = right->evaluate(row);
        if (a.isNull() || b.isNull())
            return Truth::Unknown;
        int c = 0;
        if (a.kind == SqlValue::Kind::Text && b.kind == SqlValue::Kind::Text)
            c = a.text.compare(b.text, Qt::CaseInsensitive);
        else if (a.kind != SqlValue::Kind::Text && b.kind != SqlValue::Kind::Text) {
            // NaN (a Double column can hold one) is unordered: it is neither equal to, less
            // than nor greater than any number, so of the comparisons only <> holds.
            if (std::isnan(a.number) || std::isnan(b.number))
                return fromBool(op == CompareOp::NotEqual);
            c = a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
        } else
            return Truth::Unknown; // mixed kinds in one row (a damaged value): no match
        switch (op) {
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
        const SqlValue v = left->evaluate(row);
        if (v.isNull() || v.kind == SqlValue::Kind::Binary)
            return Truth::Unknown;
        // Numbers and dates are matched by the text Jet gives them: a date by its calendar
        // text, not its day count.
        QString text = v.text;
        if (v.kind != SqlValue::Kind::Text)
            (v.kind == SqlValue::Kind::Date ? jet::Value::dateTime(v.number) : jet::Value::real(v.number))
                .toText(&text);
        const bool match = pattern.matches(text);
        return fromBool(match != negated);
    }
    case Kind::IsNull:
        return fromBool(left->evaluate(row).isNull() != negated);
    case Kind::Not: {
        const Truth t = left->test(row);
        return t == Truth::Unknown ? t : fromBool(t == Truth::False);
    }
    case Kind::And: {
        const Truth a = left->test(row);
        if (a == Truth::False)
            return a;
        const Truth b = right->test(row);
        if (b == Truth::False)
            return b;
        return a == Truth::True && b == Truth::True ? Truth::True : Truth::Unknown;
    }
    case Kind::Or: {
        const Truth a = left->test(row);
        if (a == Truth::True)
            return a;
        const Truth b = right->test(row);
        if (b == Truth::True)
            return b;
        return a == Truth::False && b == Truth::False ? Truth::False : Truth::Unknown;
    }
    }
    return Truth::Unknown;
}

void Expression::collectColumns(std::vector<int> &columns) const
{
    if (kind == Kind::Column && std::find(columns.begin(), columns.end(), column) == columns.end())
        columns.push_back(column);
    if (left)
        left->collectColumns(columns);
    if (right)
        right->collectColumns(columns);
}

} // namespace sql
