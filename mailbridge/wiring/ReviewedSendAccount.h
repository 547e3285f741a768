#pragma once

#include "mailbridge/review/DraftsFolder.h"
#include "mailbridge/review/FiledDrafts.h"
#include "mailbridge/review/MessageSubmission.h"
#include "mailbridge/wiring/OutboxFactory.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class PasswordStore;
class SettingsStore;
struct MailAccount;

// Whether the account both files drafts over IMAP and has a submission server to send them
// through afterwards: Kind=imap with SmtpHost set.
bool offersReviewedSend(const MailAccount &account);

// What review-then-send works with, made from section [MailClient]: the drafts folder the
// IMAP outbox files into, the submission server, and this machine's record of filed drafts.
struct ReviewedSendAccount
{
    std::unique_ptr<DraftsFolder> folder;
    std::unique_ptr<MessageSubmission> submission;
    std::unique_ptr<FiledDrafts> filed;
    QString account;        // the key of the account's drafts in filed
    bool keepCopies = true; // sent drafts go into Sent (keepsSentCopies), else leave Drafts
};

// Throws Failure for settings that offer no review-then-send, or as createOutbox does.
ReviewedSendAccount createReviewedSend(const SettingsStore &store,
                                       std::optional<QString> password = std::nullopt,
                                       std::shared_ptr<PasswordStore> keyring = nullptr,
                                       FirstToken firstToken = FirstToken::Now,
                                       const std::function<bool()> &cancelled = {});

// This machine's record: $XDG_STATE_HOME/Ferrymail/filed-drafts.json.
std::unique_ptr<FiledDrafts> filedDraftsOnThisMachine();
// The key of an IMAP account's drafts in that record.
QString filedDraftsAccountKey(const MailAccount &account);
