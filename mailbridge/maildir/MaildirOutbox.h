#pragma once

#include "mailbridge/compose/ComposingOutbox.h"

#include <QString>

#include <memory>

// A Maildir folder as the outbox: each message filed is a file in its new/.
class MaildirOutbox : public ComposingOutbox
{
public:
    // Creates the folder and its tmp/, new/ and cur/ as needed (mode 0700); throws Failure
    // naming the folder and the reason when one cannot be made. Removes what senders that
    // died left in tmp/ (see StaleTemporaryFiles.h).
    explicit MaildirOutbox(const QString &folder);

    // The outbox as it would be, only to size messages: creates and removes nothing, and its
    // drafts fail if the folder is missing.
    static std::unique_ptr<MaildirOutbox> forSizing(const QString &folder);

    // Delivers the message into new/. Throws Failure when delivery fails (nothing is left in
    // new/; it may be tried again), FiledWithFailure when the message is in new/ but new/
    // could not be synced.
    void file(const Draft &draft, TransferMonitor &monitor) override;
    QString destination() const override;
    QString localFolder() const override { return m_folder; }
    QString deliveredText(int messages, const QString &to) const override;

    QString folder() const { return m_folder; }

private:
    struct Untouched
    {
    };
    MaildirOutbox(const QString &folder, Untouched);

    QString m_folder;
};
