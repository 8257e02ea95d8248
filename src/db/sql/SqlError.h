#pragma once

#include <QString>

namespace sql {

// A refused or failed statement, worded as the Jet OLE DB provider words it, with the
// HRESULT the provider raises for it.
struct SqlError
{
    QString message;
    quint32 hresult = 0;

    static SqlError syntax(const QString &message) { return {message, 0x80040E14u}; }
    static SqlError missingParameter()
    {
        return {QStringLiteral("No value given for one or more required parameters."), 0x80040E10u};
    }
    static SqlError typeMismatch()
    {
        return {QStringLiteral("Data type mismatch in criteria expression."), 0x80040E07u};
    }
    static SqlError noSuchTable(const QString &name)
    {
        return {QStringLiteral("The Microsoft Jet database engine cannot find the input table or query '%1'.  "
                               "Make sure it exists and that its name is spelled correctly.")
                    .arg(name),
                0x80040E37u};
    }
    static SqlError general(const QString &message) { return {message, 0x80004005u}; }
};

} // namespace sql
