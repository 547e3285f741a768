#pragma once

#include "mailbridge/compose/GObjectPtr.h"

#include <QString>
#include <QStringList>

#include "mailbridge/compose/GMimeHeaders.h"

// The pieces of address text as typed in a mail client's To field: split at ',', ';' and
// line breaks that stand outside quotes, angle brackets and comments; trimmed, empty ones
// left out.
QStringList splitAddressText(const QString &text);

// The addresses of the text, ready to be written. Each piece GMime can parse gives its
// addresses; any other piece (also one holding a control character) becomes the name of an
// empty group, so its text still reaches the header, encoded, instead of being dropped or
// written raw. Names keep exactly what was typed, "=?" included, and are encoded in UTF-8.
GObjectPtr<InternetAddressList> parseAddressText(const QString &text);

// How many mailboxes with a domain ("user@host", also inside groups) the list holds; GMime
// also takes a bare word such as "nobody" for a mailbox.
int mailboxCount(InternetAddressList *list);

// Every mailbox address of the list, group members too, each once (compared without regard to
// case), in order. Ascii: internationalized domains in their ASCII form, as an SMTP envelope
// takes them; else as written, for a person to read.
enum class AddressForm
{
    AsWritten,
    Ascii,
};
QStringList mailboxAddresses(InternetAddressList *list, AddressForm form = AddressForm::Ascii);

// The mailbox addresses of the text as a person reads them ("ann@example.org", groups'
// members too), each once, in order; pieces that hold none give nothing.
QStringList mailboxAddresses(const QString &text);

// Whether the address can go into MAIL FROM or RCPT TO as it is: it has an "@" and no space,
// control character or angle bracket that would break the command.
bool isSendableAddress(const QString &address);
