#include "mailbridge/discovery/MailDomain.h"

#include "common/Failure.h"

#include <QUrl>

namespace {

[[noreturn]] void refuse(const QString &text)
{
    throw Failure(QStringLiteral("\"%1\" is not an email address: type it as in "
                                 "me@example.org.")
                      .arg(text));
}

bool isHostnameLabel(QStringView label)
{
    if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-'))
        return false;
    for (const QChar c : label) {
        const bool ok = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-';
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

QString bareAddress(const QString &text)
{
    const QString trimmed = text.trimmed();
    const qsizetype open = trimmed.lastIndexOf(u'<');
    if (open >= 0 && trimmed.endsWith(u'>'))
        return trimmed.mid(open + 1, trimmed.size() - open - 2).trimmed();
    return trimmed;
}

QString mailDomain(const QString &address)
{
    const QString bare = bareAddress(address);
    const qsizetype at = bare.lastIndexOf(u'@');
    if (at <= 0)
        refuse(address);
    QString domain = bare.mid(at + 1);
    if (domain.endsWith(u'.'))
        domain.chop(1);
    // toAce() also lower-cases and maps the Unicode forms; it gives nothing for an invalid name.
    const QString ace = QString::fromLatin1(QUrl::toAce(domain));
    if (ace.isEmpty() || ace.size() > 253)
        refuse(address);
    for (const QStringView label : QStringView(ace).split(u'.'))
        if (!isHostnameLabel(label))
            refuse(address);
    return ace;
}
