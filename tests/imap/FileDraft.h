#pragma once

#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapOutbox.h"

#include <QStringList>

// One draft as the tests file it: fixed addresses, the subject and the files given.
inline void fileDraft(ImapOutbox &outbox, const QString &subject, const QStringList &attachments,
                      TransferMonitor &monitor = TransferMonitor::none())
{
    outbox.file(Draft{QStringLiteral("someone@example.org"), QStringLiteral("Me <me@example.org>"),
                      subject, attachments},
                monitor);
}
