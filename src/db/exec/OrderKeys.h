#pragma once
// The ORDER BY values of the rows a statement selected, kept compactly (a number or date as
// a double and a NULL bit, a text as its QString), and the order Jet gives them: NULL before
// every value, texts without regard to case, NaN after every number; rows whose values are
// equal keep the order of the table (their row ids).

#include "db/jet/RowId.h"
#include "db/sql/SqlStatement.h"

#include <QString>

#include <cstdint>
#include <vector>

class OrderKeys
{
public:
    OrderKeys() = default;
    OrderKeys(const std::vector<sql::Statement::OrderKey> &keys, const std::vector<sql::SqlType> &types);

    bool isEmpty() const { return m_columns.empty(); }
    // Appends the row's values of the ORDER BY columns.
    void append(const sql::RowSource &row);
    // Appends all rows of `other` (made for the same statement), emptying it.
    void take(OrderKeys &other);

    // Negative, zero or positive as row a sorts before, with or after row b (by value only).
    int compare(std::size_t a, std::size_t b) const;

    // The statement's order of `rows` (whose keys were appended in the same order): keys,
    // then row ids. Returns the positions in that order. Throws TaskCancelled when the
    // calling thread's request is cancelled meanwhile.
    std::vector<std::uint32_t> sortedOrder(const std::vector<jet::RowId> &rows) const;
    // Whether the positions `order` already give that order.
    bool isInOrder(const std::vector<jet::RowId> &rows, const std::vector<std::uint32_t> &order) const;

private:
    struct Column
    {
        int column = -1;
        bool descending = false;
        bool text = false;
        std::vector<bool> nulls;
        std::vector<double> numbers; // numeric columns
        std::vector<QString> texts;  // text columns
    };
    // Rows a and b in their final order: keys in their directions, then row ids.
    bool before(const std::vector<jet::RowId> &rows, std::uint32_t a, std::uint32_t b) const;
    // sortedOrder() for the usual ORDER BY of one number or date column.
    std::vector<std::uint32_t> sortedByOneNumber(const std::vector<jet::RowId> &rows) const;

    std::vector<Column> m_columns;
};
