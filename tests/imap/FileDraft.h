#pragma once

#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapOutbox.h"

#include <QStringList>

// One draft as the tests file it: fixed addresses, the subject and the files given.
inline void fileDraft(ImapOutbox &outbox, const QString &subject, const QStringList &attachments,
                      TransferMonitor &monitor = TransferMonitor::none())
{
    auto item = outbox.CreateItem();
    item->setSubject(subject);
    item->setTo(QStringLiteral("someone@example.org"));
    item->setFrom(QStringLiteral("Me <me@example.org>"));
    for (const QString &path : attachments)
        item->addAttachment(path);
    item->Send(monitor);
}
