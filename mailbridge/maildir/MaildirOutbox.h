#pragma once

#include "mailbridge/MailApplication.h"

#include <QString>

// A Maildir folder as the outbox of a mail client: each message sent is a file in its new/.
class MaildirOutbox : public MailApplication
{
public:
    // Creates the folder and its tmp/, new/ and cur/ as needed (mode 0700); throws Failure
    // naming the folder and the reason when one cannot be made. Removes what senders that
    // died left in tmp/ (see StaleTemporaryFiles.h).
    explicit MaildirOutbox(const QString &folder);

    // The outbox as it would be, only to size messages: creates and removes nothing, and its
    // items fail if the folder is missing.
    static std::unique_ptr<MaildirOutbox> forSizing(const QString &folder);

    std::unique_ptr<MailItem> CreateItem(ItemType type = olMailItem) override;
    QString destination() const override;
    QString localFolder() const override { return m_folder; }

    QString folder() const { return m_folder; }

private:
    struct Untouched
    {
    };
    MaildirOutbox(const QString &folder, Untouched);

    QString m_folder;
};
