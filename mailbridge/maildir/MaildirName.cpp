#include "mailbridge/maildir/MaildirName.h"

#include <QSysInfo>

#include <mutex>
#include <sys/time.h>
#include <unistd.h>

namespace {

QString escapedHost(QString host)
{
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    host.replace(QLatin1Char('\\'), QLatin1String("\\134"));
    host.replace(QLatin1Char('/'), QLatin1String("\\057"));
    host.replace(QLatin1Char(':'), QLatin1String("\\072"));
    return host;
}

} // namespace

QString maildirName(const MaildirNameParts &parts)
{
    return QStringLiteral("%1.M%2P%3Q%4.%5")
        .arg(parts.seconds, 10, 10, QLatin1Char('0'))
        .arg(parts.microseconds, 6, 10, QLatin1Char('0'))
        .arg(parts.pid, 10, 10, QLatin1Char('0'))
        .arg(parts.counter, 10, 10, QLatin1Char('0'))
        .arg(escapedHost(parts.host));
}

MaildirNameParts nextMaildirNameParts()
{
    static std::mutex mutex;
    static std::int64_t lastSeconds = 0;
    static int lastMicroseconds = 0;
    static std::uint64_t counter = 0;

    struct timeval now = {};
    ::gettimeofday(&now, nullptr);

    MaildirNameParts parts;
    parts.pid = ::getpid();
    parts.host = QSysInfo::machineHostName();

    const std::lock_guard lock(mutex);
    // A clock set back must not make a later message sort before an earlier one.
    if (now.tv_sec > lastSeconds || (now.tv_sec == lastSeconds && now.tv_usec > lastMicroseconds)) {
        lastSeconds = now.tv_sec;
        lastMicroseconds = int(now.tv_usec);
    }
    parts.seconds = lastSeconds;
    parts.microseconds = lastMicroseconds;
    parts.counter = ++counter;
    return parts;
}
