#pragma once

#include "mailbridge/compose/ComposedItem.h"

// A message for a Maildir outbox; Send delivers it into the folder's new/. It throws Failure
// when delivery fails (nothing is left in new/; it may be tried again), FiledWithFailure when
// the message is in new/ but new/ could not be synced.
class MaildirMessage : public ComposedItem
{
public:
    explicit MaildirMessage(QString folder) : m_folder(std::move(folder)) {}

protected:
    void file(const MessageContent &content, TransferMonitor &monitor) override;
    QString filedPlace() const override;

private:
    QString m_folder;
};
