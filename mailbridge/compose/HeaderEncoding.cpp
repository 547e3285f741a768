#include "mailbridge/compose/HeaderEncoding.h"

#include <QStringView>

namespace {

// Room for the longest header name of ours ("Subject: ") before a word on a line of 76.
constexpr qsizetype wordPayload = 54;
constexpr char wordStart[] = "=?UTF-8?Q?";
// Each parameter piece on a line of its own, short of 78 columns.
constexpr qsizetype parameterPiece = 60;

constexpr char hexDigits[] = "0123456789ABCDEF";

// The byte as an escape: marker and two upper-case hex digits.
void appendEscaped(QByteArray &out, char marker, unsigned char c)
{
    out += marker;
    out += hexDigits[c >> 4];
    out += hexDigits[c & 15];
}

bool isAlphanumeric(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// What may stand unencoded in a Q word inside a phrase (RFC 2047 5(3)).
bool isPhraseSafe(unsigned char c)
{
    return isAlphanumeric(c) || c == '!' || c == '*' || c == '+' || c == '-' || c == '/';
}

// RFC 2231 attribute-char, without the few that some readers mishandle.
bool isAttributeSafe(unsigned char c)
{
    return isAlphanumeric(c) || QByteArrayView("!#$&+-.^_`|~").contains(char(c));
}

QByteArray qEncoded(const QByteArray &utf8)
{
    QByteArray out;
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        if (c == ' ')
            out += '_';
        else if (isPhraseSafe(c))
            out += char(c);
        else
            appendEscaped(out, '=', c);
    }
    return out;
}

QByteArray percentEncoded(const QByteArray &utf8)
{
    QByteArray out;
    for (const char byte : utf8) {
        const auto c = static_cast<unsigned char>(byte);
        if (isAttributeSafe(c))
            out += char(c);
        else
            appendEscaped(out, '%', c);
    }
    return out;
}

// The text's characters one by one (a surrogate pair is one), each encoded, gathered into
// pieces of at most `limit` bytes.
template <typename Encode>
QList<QByteArray> pieces(const QString &text, qsizetype limit, Encode encode)
{
    QList<QByteArray> result;
    QByteArray piece;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray encoded = encode(QStringView(text).mid(i, length).toUtf8());
        i += length - 1;
        if (!piece.isEmpty() && piece.size() + encoded.size() > limit) {
            result << piece;
            piece.clear();
        }
        piece += encoded;
    }
    if (!piece.isEmpty())
        result << piece;
    return result;
}

} // namespace

bool looksLikeEncodedWord(const QString &text)
{
    return text.contains(QLatin1String("=?"));
}

QList<QByteArray> encodedWords(const QString &text)
{
    QList<QByteArray> words = pieces(text, wordPayload, qEncoded);
    for (QByteArray &word : words)
        word = wordStart + word + "?=";
    return words;
}

QByteArray foldedWords(const QList<QByteArray> &words)
{
    return ' ' + words.join("\n ") + '\n';
}

QByteArray extendedParameter(const QByteArray &name, const QString &value)
{
    const QList<QByteArray> parts = pieces(value, parameterPiece, percentEncoded);
    if (parts.size() <= 1)
        return name + "*=UTF-8''" + parts.value(0);
    QByteArray result;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0)
            result += ";\n\t";
        result += name + '*' + QByteArray::number(i) + '*' + '=' +
                  (i == 0 ? QByteArray("UTF-8''") : QByteArray()) + parts[i];
    }
    return result;
}
