#include "mailbridge/maildir/MaildirOutbox.h"

#include "common/Failure.h"
#include "common/HomePath.h"
#include "mailbridge/DeliveryWords.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/DraftContent.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/maildir/MaildirDelivery.h"
#include "mailbridge/maildir/StaleTemporaryFiles.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace {

void makeFolder(const QString &folder)
{
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) == 0)
        return;
    int error = errno;
    if (error == ENOENT) {
        const QString parent = QFileInfo(folder).path();
        if (parent != folder) {
            makeFolder(parent);
            if (::mkdir(native.constData(), 0700) == 0)
                return;
            error = errno;
        }
    }
    if (error == EEXIST) {
        struct stat status = {};
        if (::stat(native.constData(), &status) == 0 && S_ISDIR(status.st_mode))
            return;
        error = ENOTDIR;
    }
    throw Failure(describeSystemError(
        QStringLiteral("Cannot create the outbox folder %1").arg(folder), error));
}

} // namespace

MaildirOutbox::MaildirOutbox(const QString &folder) : m_folder(QDir::cleanPath(folder))
{
    for (const char *sub : {"", "/tmp", "/new", "/cur"})
        makeFolder(m_folder + QLatin1String(sub));
    removeStaleTemporaryFiles(m_folder + QStringLiteral("/tmp"), std::chrono::system_clock::now());
}

MaildirOutbox::MaildirOutbox(const QString &folder, Untouched) : m_folder(QDir::cleanPath(folder))
{
}

std::unique_ptr<MaildirOutbox> MaildirOutbox::forSizing(const QString &folder)
{
    return std::unique_ptr<MaildirOutbox>(new MaildirOutbox(folder, Untouched{}));
}

QString MaildirOutbox::destination() const
{
    return QStringLiteral("the Maildir outbox ") + withHomeAsTilde(m_folder);
}

// Said as a person finds it in a file manager or a mail client: a folder, not a format.
QString MaildirOutbox::deliveredText(int messages, const QString &) const
{
    return QStringLiteral("%1 in the outbox folder %2")
        .arg(countOf(messages, QStringLiteral("message")), withHomeAsTilde(m_folder));
}

void MaildirOutbox::file(const Draft &draft, TransferMonitor &monitor)
{
    if (monitor.cancelRequested())
        throw SendCancelled();
    const MessageContent content = draftContent(draft);
    deliverToMaildir(
        m_folder, [&](int fd, const QString &path) { writeMessage(content, fd, path, monitor); });
}
