#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// Header text as a mail program wrote it, for a person to read: what GMime makes of it, so
// that the names shown are the names any mail program would show. Control characters come
// out as spaces: the text ends up in one line of a window.

// A header's text: RFC 2047 encoded words decoded, raw 8-bit text read as UTF-8 or, where it
// is not, as the usual legacy charset.
QString decodedHeaderText(const QByteArray &raw);

// One parameter of a Content-Type or Content-Disposition given as its name/value pairs as
// they were sent (a server's BODYSTRUCTURE): RFC 2231 charsets and continuations and encoded
// words decoded. Empty when the parameter is absent.
QString decodedParameter(const QList<QPair<QByteArray, QByteArray>> &parameters,
                         const QByteArray &name);
