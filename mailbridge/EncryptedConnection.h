#pragma once

#include "mailbridge/MailAccount.h"

#include <QString>

// The one rule for every connection to a mail server, whoever opens it (a Send, review-then-
// send, a copy in Sent, Test, the size question): without encryption, only to this machine.
// Throws Failure before anything is sent otherwise; setting names the key that chose "none"
// ("SmtpSecurity"), so the person knows what to change.
void requireEncryptedConnection(const QString &host, ImapSecurity security, const QString &setting);
