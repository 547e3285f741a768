#include "mailbridge/compose/HeaderDecoding.h"

#include "mailbridge/compose/GMimeHeaders.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "mailbridge/compose/GObjectPtr.h"

namespace {

QString oneLine(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QLatin1Char(' ');
    return text;
}

// A quoted-string of the value; NUL cannot be in one and is dropped.
QByteArray quotedValue(const QByteArray &value)
{
    QByteArray quoted = "\"";
    for (const char c : value) {
        if (c == '\0')
            continue;
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// A parameter name GMime reads as one: a token, continuation marks included.
bool plainName(const QByteArray &name)
{
    if (name.isEmpty())
        return false;
    for (const char c : name)
        if (c <= ' ' || c >= 0x7f || QByteArrayView("()<>@,;:\\\"/[]?=").contains(c))
            return false;
    return true;
}

} // namespace

QString decodedHeaderText(const QByteArray &raw)
{
    initGMime();
    QByteArray text = raw;
    text.replace('\0', ' ');
    const GCharPtr decoded(g_mime_utils_header_decode_text(nullptr, text.constData()));
    return oneLine(decoded ? QString::fromUtf8(decoded.get()) : QString::fromUtf8(text));
}

QString decodedParameter(const QList<QPair<QByteArray, QByteArray>> &parameters,
                         const QByteArray &name)
{
    initGMime();
    QByteArray list;
    for (const auto &[key, value] : parameters) {
        if (!plainName(key))
            continue;
        if (!list.isEmpty())
            list += "; ";
        list += key + '=' + quotedValue(value);
    }
    if (list.isEmpty())
        return QString();
    const GObjectPtr<GMimeParamList> parsed =
        adoptGObject(g_mime_param_list_parse(nullptr, list.constData()));
    if (!parsed)
        return QString();
    GMimeParam *param = g_mime_param_list_get_parameter(parsed.get(), name.constData());
    if (!param || !g_mime_param_get_value(param))
        return QString();
    return oneLine(QString::fromUtf8(g_mime_param_get_value(param)));
}
