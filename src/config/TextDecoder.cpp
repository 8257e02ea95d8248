#include "config/TextDecoder.h"

#include "lang/CodePageConverter.h"

#include <QStringDecoder>

#include <uchardet/uchardet.h>

#include <memory>

namespace TextDecoder {

namespace {

// The code page of legacy bytes as a detector guesses it, or 0 when the guess is not one
// to trust. Only the multi-byte Chinese code pages are: their byte patterns must fit, so
// a guess of them is sound, while short texts in single-byte code pages are told apart
// poorly (a few words of windows-1252 come out as ISO-8859-2, two GBK characters as
// windows-1253). A single-byte guess therefore leaves the choice to the UI language.
int detectedCodePage(const QByteArray &bytes)
{
    const std::unique_ptr<std::remove_pointer_t<uchardet_t>, decltype(&uchardet_delete)> detector(uchardet_new(),
                                                                                                  &uchardet_delete);
    if (!detector || uchardet_handle_data(detector.get(), bytes.constData(), size_t(bytes.size())) != 0)
        return 0;
    uchardet_data_end(detector.get());
    const QByteArray charset = QByteArray(uchardet_get_charset(detector.get())).toUpper();
    if (charset == "GB18030" || charset == "GB2312" || charset == "GBK")
        return 54936;
    if (charset == "BIG5")
        return 950;
    return 0;
}

} // namespace

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
    const int detected = detectedCodePage(body);
    CodePageConverter converter;
    return converter.ToWide(body.constData(), detected ? detected : legacyCodePage).toString();
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
