#include "mailbridge/maildir/MaildirMessage.h"

#include "common/Failure.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/maildir/MaildirDelivery.h"

MaildirMessage::MaildirMessage(QString folder) : m_folder(std::move(folder)) {}

QString MaildirMessage::Subject() const
{
    return m_content.subject;
}

void MaildirMessage::setSubject(const QString &subject)
{
    checkUnsent();
    m_content.subject = subject;
}

void MaildirMessage::setTo(const QString &recipients)
{
    checkUnsent();
    m_content.to = recipients;
}

void MaildirMessage::setFrom(const QString &sender)
{
    checkUnsent();
    m_content.from = sender;
}

void MaildirMessage::setDeleteAfterSubmit(bool deleteAfterSubmit)
{
    checkUnsent();
    m_deleteAfterSubmit = deleteAfterSubmit;
}

void MaildirMessage::addAttachment(const QString &sourcePath)
{
    checkUnsent();
    m_content.attachments.push_back(inspectAttachment(sourcePath));
}

void MaildirMessage::Send(TransferMonitor &monitor)
{
    checkUnsent();
    try {
        deliverToMaildir(m_folder, [&](int fd, const QString &path) {
            writeMessage(m_content, fd, path, monitor);
        });
    } catch (const FiledWithFailure &) {
        // Filed all the same: a second Send would file it twice.
        m_sent = true;
        throw;
    }
    m_sent = true;
}

void MaildirMessage::checkUnsent() const
{
    if (m_sent)
        throw Failure(QStringLiteral("The message \"%1\" was already put into the outbox %2")
                          .arg(m_content.subject, m_folder));
}
