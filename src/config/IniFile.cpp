#include "config/IniFile.h"

#include "config/TextDecoder.h"

#include <QFile>
#include <QFileInfo>

IniFile IniFile::load(const QString &path, int legacyCodePage)
{
    // Only a regular file (a link to one included) is read: opening a named pipe waits for
    // a writer, and a device such as /dev/zero never ends.
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return fromText(TextDecoder::decodeFile(file.readAll(), legacyCodePage));
}

static QString stripQuotes(const QString &value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

IniFile IniFile::fromText(const QString &text)
{
    IniFile ini;
    QString section;
    int sectionIndex = -1;
    const QStringList lines = text.split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            section = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
            ++sectionIndex;
            ini.m_entries.append({section, sectionIndex, QString(), QString(), false});
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (sectionIndex < 0 || eq < 0)
            continue;
        ini.m_entries.append({section, sectionIndex, line.left(eq).trimmed(),
                              stripQuotes(line.mid(eq + 1).trimmed()).left(MaxValueLength), true});
    }
    return ini;
}

const IniFile::Entry *IniFile::find(const QString &section, const QString &key) const
{
    // Only the first section of a name is searched, as Windows does; a section repeated
    // later in the file is never reached.
    int wanted = -1;
    for (const Entry &e : m_entries) {
        if (!e.isKey) {
            if (wanted >= 0)
                return nullptr; // the first matching section has ended
            if (e.section.compare(section, Qt::CaseInsensitive) == 0)
                wanted = e.sectionIndex;
            continue;
        }
        if (e.sectionIndex == wanted && e.key.compare(key, Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

bool IniFile::hasKey(const QString &section, const QString &key) const
{
    return find(section, key) != nullptr;
}

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Entry *e = find(section, key);
    return e ? e->value : defaultValue.left(MaxValueLength);
}

int IniFile::parseLenientInt(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    quint32 value = 0; // wraps modulo 2^32, as a 32-bit C parse does
    for (; i < n && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i)
        value = value * 10 + quint32(text.at(i).unicode() - u'0');
    return static_cast<int>(negative ? 0u - value : value);
}

int IniFile::readInt(const QString &section, const QString &key, int defaultValue) const
{
    const Entry *e = find(section, key);
    if (!e || e->value.isEmpty())
        return defaultValue;
    return parseLenientInt(e->value);
}
