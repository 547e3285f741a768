#include "mailbridge/imap/MailboxName.h"

#include <QStringDecoder>

namespace {

void flushShifted(QByteArray &out, QByteArray &utf16)
{
    if (utf16.isEmpty())
        return;
    QByteArray encoded = utf16.toBase64(QByteArray::OmitTrailingEquals);
    encoded.replace('/', ',');
    out += '&' + encoded + '-';
    utf16.clear();
}

} // namespace

QByteArray encodeMailboxName(const QString &name)
{
    QByteArray out;
    QByteArray utf16; // big-endian code units waiting to be shifted out
    for (const QChar c : name) {
        const char16_t unit = c.unicode();
        if (unit >= 0x20 && unit <= 0x7e) {
            flushShifted(out, utf16);
            out += unit == u'&' ? QByteArray("&-") : QByteArray(1, char(unit));
        } else {
            utf16 += char(unit >> 8);
            utf16 += char(unit & 0xff);
        }
    }
    flushShifted(out, utf16);
    return out;
}

QString decodeMailboxName(const QByteArray &name)
{
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] != '&') {
            out += QLatin1Char(name[i]);
            continue;
        }
        const qsizetype end = name.indexOf('-', i);
        if (end < 0)
            return QString::fromLatin1(name);
        if (end == i + 1) {
            out += QLatin1Char('&');
        } else {
            QByteArray base64 = name.mid(i + 1, end - i - 1);
            base64.replace(',', '/');
            const QByteArray utf16 = QByteArray::fromBase64(base64);
            auto decoder = QStringDecoder(QStringDecoder::Utf16BE);
            out += decoder.decode(utf16);
            if (decoder.hasError())
                return QString::fromLatin1(name);
        }
        i = end;
    }
    return out;
}

QByteArray imapQuoted(const QByteArray &text)
{
    QByteArray quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}
