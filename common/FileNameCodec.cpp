#include "common/FileNameCodec.h"

namespace {

constexpr char16_t escapeBase = 0xDC00;

bool isEscapedByte(QChar c)
{
    return c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF;
}

// Length of the valid UTF-8 sequence at data[i], or 0. Strict: no overlong forms, no
// surrogates, nothing above U+10FFFF.
int validSequenceLength(const unsigned char *data, qsizetype size, qsizetype i)
{
    const unsigned char lead = data[i];
    if (lead < 0x80)
        return 1;
    int length;
    char32_t minimum;
    char32_t value;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, value = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > size)
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((data[i + k] & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (data[i + k] & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString decodeFileName(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    QString name;
    name.reserve(size);
    qsizetype runStart = 0;
    qsizetype i = 0;
    const auto flushRun = [&] {
        if (i > runStart)
            name += QString::fromUtf8(bytes.constData() + runStart, i - runStart);
    };
    while (i < size) {
        if (const int length = validSequenceLength(data, size, i); length > 0) {
            i += length;
            continue;
        }
        flushRun();
        name += QChar(char16_t(escapeBase + data[i]));
        runStart = ++i;
    }
    flushRun();
    return name;
}

QByteArray encodeFileName(const QString &name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        // A low surrogate after a high one is half of a real character, not an escape.
        if (!isEscapedByte(c) || (i > 0 && name.at(i - 1).isHighSurrogate()))
            continue;
        bytes += QStringView(name).mid(runStart, i - runStart).toUtf8();
        bytes += char(c.unicode() - escapeBase);
        runStart = i + 1;
    }
    bytes += QStringView(name).mid(runStart).toUtf8();
    return bytes;
}

QString displayFileName(const QString &name)
{
    QString shown = name;
    for (qsizetype i = 0; i < shown.size(); ++i)
        if (isEscapedByte(shown.at(i)) && !(i > 0 && shown.at(i - 1).isHighSurrogate()))
            shown[i] = QChar::ReplacementCharacter;
    return shown;
}
