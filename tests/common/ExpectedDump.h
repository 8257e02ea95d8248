#pragma once
// Reads the reference dumps of tests/data/expected (written by another Jet library):
// one row per line, cells by column name, NULL kept apart from the empty text.

#include <QFile>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct ExpectedRow
{
    QHash<QString, std::optional<QString>> cells; // column name -> text, nullopt for NULL

    QString text(const QString &column) const { return cells.value(column).value_or(QString()); }
    bool isNull(const QString &column) const { return !cells.value(column).has_value(); }
    int number(const QString &column) const { return text(column).toInt(); }
    // A date cell without its raw double: "2009-12-01 00:00:00".
    QString date(const QString &column) const { return text(column).section(u'|', 0, 0); }
    double rawDate(const QString &column) const { return text(column).section(u'|', 1).toDouble(); }
};

inline QString unescapeDumpCell(const QString &cell)
{
    QString out;
    for (qsizetype i = 0; i < cell.size(); ++i) {
        if (cell[i] != u'\\' || i + 1 >= cell.size()) {
            out += cell[i];
            continue;
        }
        const QChar e = cell[++i];
        if (e == u't')
            out += u'\t';
        else if (e == u'n')
            out += u'\n';
        else if (e == u'r')
            out += u'\r';
        else if (e == u'u') {
            out += QChar(char16_t(cell.mid(i + 1, 4).toUShort(nullptr, 16)));
            i += 4;
        } else
            out += e;
    }
    return out;
}

inline QList<ExpectedRow> readExpectedDump(const QString &path)
{
    QFile file(path);
    QList<ExpectedRow> rows;
    if (!file.open(QIODevice::ReadOnly))
        return rows;
    const QList<QByteArray> lines = file.readAll().split('\n');
    QStringList names;
    for (const QByteArray &h : lines.value(0).split('\t'))
        names << QString::fromUtf8(h).section(u':', 0, -2);
    for (qsizetype l = 1; l < lines.size(); ++l) {
        if (lines[l].isEmpty())
            continue;
        const QList<QByteArray> cells = lines[l].split('\t');
        ExpectedRow row;
        for (qsizetype c = 0; c < cells.size() && c < names.size(); ++c) {
            const QString raw = QString::fromUtf8(cells[c]);
            row.cells.insert(names[c], raw == QLatin1String("\\N") ? std::nullopt
                                                                   : std::optional<QString>(unescapeDumpCell(raw)));
        }
        rows << row;
    }
    return rows;
}
