#pragma once

#include "db/sql/LikePattern.h"
#include "db/sql/SqlValue.h"

#include <QString>

#include <memory>
#include <optional>
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
    // The column's text as Latin-1 bytes, one per character, where the source stores it so
    // and can hand it over without decoding; nothing otherwise (NULL included), and then
    // value() answers. Lets LIKE search the bytes as they lie in the row.
    virtual std::optional<QByteArrayView> latin1Text(int /*column*/) const { return std::nullopt; }
};

// A node of a WHERE condition, built by the parser through the functions below.
class Expression
{
public:
    enum class Kind : quint8 { Column, Literal, Compare, Like, IsNull, Not, And, Or };
    enum class CompareOp : quint8 { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };
    using Ptr = std::unique_ptr<Expression>;

    // A column by the name written in the statement; bind() finds it.
    static Ptr column(QString name);
    // A constant of a static type; SqlType::Null with a null value is the NULL literal.
    static Ptr literal(SqlType type, SqlValue value);
    // Operators over their operands, none of which may be null.
    static Ptr compare(CompareOp op, Ptr left, Ptr right);
    static Ptr like(Ptr operand, LikePattern pattern, bool negated);
    static Ptr isNull(Ptr operand, bool negated);
    static Ptr negation(Ptr operand);
    // Kind::And or Kind::Or.
    static Ptr logical(Kind kind, Ptr left, Ptr right);

    Kind kind() const { return m_kind; }
    const Expression *left() const { return m_left.get(); }
    const Expression *right() const { return m_right.get(); }
    const QString &name() const { return m_name; }           // Column
    int columnIndex() const { return m_column; }             // Column, after binding
    CompareOp compareOp() const { return m_op; }             // Compare
    const SqlValue &value() const { return m_value; }        // Literal
    const LikePattern &pattern() const { return m_pattern; } // Like

    // Resolves column names (without regard to case) and checks that compared values have
    // compatible types. Fails like the provider: an unknown name is a parameter without a
    // value, incompatible types are a type mismatch.
    bool bind(const std::vector<ColumnInfo> &columns, SqlError *error);
    Truth test(const RowSource &row) const;
    void collectColumns(std::vector<int> &columns) const;

private:
    Expression(Kind kind, Ptr left = nullptr, Ptr right = nullptr);

    SqlValue evaluate(const RowSource &row) const;
    bool isValue() const { return m_kind == Kind::Column || m_kind == Kind::Literal; }

    Kind m_kind;
    CompareOp m_op = CompareOp::Equal; // Compare
    bool m_negated = false;            // Like, IsNull: NOT LIKE, IS NOT NULL
    QString m_name;                    // Column: the name as written
    int m_column = -1;                 // Column: position after binding
    SqlType m_type = SqlType::Null;    // Column and Literal: the static type
    SqlValue m_value;                  // Literal
    LikePattern m_pattern;             // Like
    Ptr m_left, m_right;
};

} // namespace sql
