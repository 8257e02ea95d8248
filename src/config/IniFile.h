#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reads an INI file the way Windows' private-profile functions do: sections and keys
// compared without case, the first match wins, blanks around keys and values trimmed,
// one pair of surrounding quotes removed, values cut at 254 characters. Nothing is
// ever written back.
class IniFile
{
public:
    // Upper bound of a value, as the 255-character buffers of the callers leave room for.
    static constexpr int MaxValueLength = 254;
    // Only this much of a file is read (a warning says so when a file is cut).
    static constexpr qint64 MaxFileBytes = 1 << 20;

    IniFile() = default;

    // Loads `path`; a missing or unreadable file, or one that is not a regular file (a named
    // pipe, a device), leaves an empty document (every lookup then gives its default). Of a
    // file larger than MaxFileBytes only the whole lines in its first MaxFileBytes are read.
    // `legacyCodePage` decodes files that are neither UTF-16 (with a byte-order mark) nor
    // valid UTF-8.
    static IniFile load(const QString &path, int legacyCodePage);
    // Parses text that is already decoded.
    static IniFile fromText(const QString &text);

    bool hasKey(const QString &section, const QString &key) const;
    QString readString(const QString &section, const QString &key, const QString &defaultValue = QString()) const;
    // Lenient integer: blanks, an optional sign, decimal digits up to the first other
    // character; text without digits reads 0; an empty or missing value gives the default.
    int readInt(const QString &section, const QString &key, int defaultValue) const;

    static int parseLenientInt(const QString &text);

private:
    // Each section starts with a marker entry (isKey false), so that the first section
    // of a name can be told from a later one of the same name.
    struct Entry
    {
        QString section;
        int sectionIndex;
        QString key;
        QString value;
        bool isKey;
    };
    const Entry *find(const QString &section, const QString &key) const;

    QList<Entry> m_entries;
};
