#include "mailbridge/maildir/MaildirMessage.h"

#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/maildir/MaildirDelivery.h"

void MaildirMessage::file(const MessageContent &content, TransferMonitor &monitor)
{
    deliverToMaildir(
        m_folder, [&](int fd, const QString &path) { writeMessage(content, fd, path, monitor); });
}

QString MaildirMessage::filedPlace() const
{
    return QStringLiteral("the outbox ") + m_folder;
}
