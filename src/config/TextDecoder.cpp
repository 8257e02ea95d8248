#include "config/TextDecoder.h"

#include "lang/CodePageConverter.h"

#include <QStringDecoder>

namespace TextDecoder {

QString decodeFile(const QByteArray &bytes, int legacyCodePage)
{
    if (bytes.startsWith("\xFF\xFE"))
        return QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2));
    if (bytes.startsWith("\xFE\xFF"))
        return QStringDecoder(QStringDecoder::Utf16BE).decode(bytes.mid(2));
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(body);
    if (!utf8.hasError() || bytes.startsWith("\xEF\xBB\xBF"))
        return text;
    CodePageConverter converter;
    return converter.ToWide(body.constData(), legacyCodePage).toString();
}

int legacyCodePageForLanguage(int languageCode)
{
    switch (languageCode) {
    case 0:
        return 54936; // GB18030, a superset of GBK
    case 2:
        return 950; // Big5
    case 3:
        return 1254;
    default:
        return 1252;
    }
}

} // namespace TextDecoder
