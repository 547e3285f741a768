#include "mailbridge/imap/MessageIdOf.h"

#include <QList>

#include <unistd.h>

QByteArray messageIdOf(int fd)
{
    QByteArray head(64 * 1024, Qt::Uninitialized);
    const ssize_t n = ::pread(fd, head.data(), std::size_t(head.size()), 0);
    if (n <= 0)
        return QByteArray();
    head.truncate(n);
    const qsizetype end =
        head.indexOf("\n\n") >= 0 ? head.indexOf("\n\n") : head.indexOf("\r\n\r\n");
    if (end >= 0)
        head.truncate(end);
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].toLower().startsWith("message-id:"))
            continue;
        QByteArray value = lines[i].mid(11);
        while (i + 1 < lines.size() &&
               (lines[i + 1].startsWith(' ') || lines[i + 1].startsWith('\t')))
            value += lines[++i];
        return value.simplified();
    }
    return QByteArray();
}
