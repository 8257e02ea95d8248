#pragma once

#include "db/sql/LikePattern.h"
#include "db/sql/SqlValue.h"

#include <QString>

#include <memory>
#include <vector>

namespace sql {

struct SqlError;

// Three-valued logic: a comparison with NULL is Unknown, and WHERE keeps only True.
enum class Truth : quint8 { False, True, Unknown };

// A column of the table a statement runs on, as binding needs it.
struct ColumnInfo
{
    QString name;
    SqlType type;
};

// The values of the current row, fetched by column position.
class RowSource
{
public:
    virtual ~RowSource() = default;
    virtual SqlValue value(int column) const = 0;
};

// A node of a WHERE condition.
class Expression
{
public:
    enum class Kind : quint8 { Column, Literal, Compare, Like, IsNull, Not, And, Or };
    enum class CompareOp : quint8 { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

    Kind kind = Kind::Literal;
    CompareOp op = CompareOp::Equal; // Compare
    bool negated = false;            // Like, IsNull: NOT LIKE, IS NOT NULL
    QString name;                    // Column: the name as written
    int column = -1;                 // Column: position after binding
    SqlType type = SqlType::Null;    // Column and Literal: the static type
    SqlValue value;                  // Literal
    LikePattern pattern;             // Like
    std::unique_ptr<Expression> left, right;

    // Resolves column names (without regard to case) and checks that compared values have
    // compatible types. Fails like the provider: an unknown name is a parameter without a
    // value, incompatible types are a type mismatch.
    bool bind(const std::vector<ColumnInfo> &columns, SqlError *error);
    Truth test(const RowSource &row) const;
    void collectColumns(std::vector<int> &columns) const;

private:
    SqlValue evaluate(const RowSource &row) const;
    bool isValue() const { return kind == Kind::Column || kind == Kind::Literal; }
};

} // namespace sql
