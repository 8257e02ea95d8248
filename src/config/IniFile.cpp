#include "config/IniFile.h"

#include "config/TextDecoder.h"
#include "platform/RandomAccessFile.h"

#include <QStringTokenizer>

namespace {

// Cuts `bytes` after their last complete line, so that a file read only in part ends on
// a whole character (a UTF-16 line feed is two bytes at an even offset after the mark).
void keepWholeLines(QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        const char *const feed = bytes.startsWith("\xFF\xFE") ? "\n\0" : "\0\n";
        qsizetype at = bytes.size() & ~qsizetype(1);
        while (at >= 4 && QByteArrayView(bytes.constData() + at - 2, 2) != QByteArrayView(feed, 2))
            at -= 2;
        bytes.truncate(at >= 4 ? at : 2);
        return;
    }
    const qsizetype feed = bytes.lastIndexOf('\n');
    bytes.truncate(feed + 1);
}

} // namespace

IniFile IniFile::load(const QString &path, int legacyCodePage)
{
    // Only a regular file (a link to one included) is read: opening a named pipe waits for
    // a writer, and a device such as /dev/zero never ends. Settings files are a few hundred
    // bytes; a huge one is read only in its first part.
    QByteArray bytes;
    bool cut = false;
    if (RandomAccessFile::readWhole(path, MaxFileBytes, &bytes, nullptr, &cut) != RandomAccessFile::ReadResult::Read)
        return {};
    if (cut) {
        keepWholeLines(bytes);
        qWarning("%s is larger than %lld bytes: only its first %lld bytes are read", qPrintable(path),
                 qlonglong(MaxFileBytes), qlonglong(bytes.size()));
    }
    return fromText(TextDecoder::decodeFile(bytes, legacyCodePage));
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
    // Lines are looked at in place (no list of line copies), and the section name is shared
    // by its entries, so the parse needs little more memory than the text.
    IniFile ini;
    QString section;
    int sectionIndex = -1;
    for (QStringView line : QStringView(text).tokenize(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QStringView trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            section = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed().toString();
            ++sectionIndex;
            ini.m_entries.append({section, sectionIndex, QString(), QString(), false});
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (sectionIndex < 0 || eq < 0)
            continue;
        ini.m_entries.append({section, sectionIndex, line.left(eq).trimmed().toString(),
                              stripQuotes(line.mid(eq + 1).trimmed().toString()).left(MaxValueLength), true});
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
