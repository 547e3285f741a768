#pragma once

#include "cli/SendCommand.h"

#include <QByteArray>
#include <QList>

#include <functional>

struct Interruption;
struct ReviewedSendAccount;

// What `ferrymail send-drafts` works with; made when the command runs, so that its failures
// are reported as the command's.
using ReviewedSendMaker = std::function<ReviewedSendAccount()>;

// How the person answers "Send them?": true to send. Asked only where there is a person.
using Confirmation = std::function<bool(const QString &question)>;

QString sendDraftsUsageText();

// `ferrymail send-drafts [--yes] [--dry-run]`: sends the drafts of this machine's Sends still
// in the account's Drafts folder, as the person left them there, after showing what it is
// about to send and asking (confirm: none when nobody can answer, and --yes is then needed).
// Prints each sent draft's subject on out, then one line saying what went where; the preview,
// failures and warnings on err. Returns the exit code: 0 all sent (or nothing to send), 1 a
// failure or a draft that may have been sent, 2 a usage error or no answer, 128 + the signal
// when interrupted.
int runSendDraftsCommand(const QList<QByteArray> &arguments, const ReviewedSendMaker &make,
                         const Confirmation &confirm, Interruption &interruption,
                         CommandOutput output);
