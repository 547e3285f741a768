#pragma once

#include <QString>
#include <QStringList>

struct Draft;

// Who a message is from and to, as the server is told apart from its headers.
struct SmtpEnvelope
{
    QString sender;         // MAIL FROM
    QStringList recipients; // RCPT TO, each once, in the order of the To field
};

// The sender's address and every mailbox address of the To field (groups' members too).
// Throws Failure naming the field ("Send from", "Send to") when it has no address, or one
// with a line break, NUL, space or angle bracket that would break the command it goes in.
SmtpEnvelope smtpEnvelope(const Draft &draft);
