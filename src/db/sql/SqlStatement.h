#pragma once

#include "db/sql/SqlExpression.h"

#include <QString>

#include <memory>
#include <vector>

namespace sql {

struct SqlError;

// One statement of the subset Orvik runs:
//   SELECT * FROM table [WHERE condition] [ORDER BY column [ASC|DESC], ...] [;]
//   DELETE [*] FROM table [WHERE condition] [;]
// Conditions: = <> < <= > >=, [NOT] LIKE 'pattern', IS [NOT] NULL, AND, OR, NOT,
// parentheses; values: column names (bare or [bracketed]), numbers, 'text' or "text",
// #date# literals, NULL, TRUE, FALSE. Keywords and names are matched without case.
struct Statement
{
    enum class Kind : quint8 { Select, Delete };
    struct OrderKey
    {
        QString name;
        int column = -1;
        bool descending = false;
    };

    Kind kind = Kind::Select;
    QString table;
    std::unique_ptr<Expression> where; // null: every row
    std::vector<OrderKey> orderBy;

    // Resolves names against the table's columns (see Expression::bind).
    bool bind(const std::vector<ColumnInfo> &columns, SqlError *error);
    // Whether the row belongs to the result (or is to be deleted).
    bool matches(const RowSource &row) const { return !where || where->test(row) == Truth::True; }
    // The columns the condition and the ordering read, in no particular order.
    std::vector<int> referencedColumns() const;
};

// Parses `text`; on failure fills `error` with the provider's wording and returns false.
bool parse(const QString &text, Statement *statement, SqlError *error);

// Reads the text between the # signs of a date literal ("2009-12-1 0:0:0", "12/1/2009",
// "2009-12-01") into a day count since 1899-12-30; false for anything that is not a date.
bool parseDateLiteral(const QString &text, double *days);

} // namespace sql
