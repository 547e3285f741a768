#pragma once

#include "mailbridge/imap/ImapReader.h"
#include "mailbridge/review/DraftsFolder.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <optional>

// What a server's FETCH data tells of a draft. Each reader throws ImapReadError, naming what
// it found amiss, for data that is not as a FETCH of these items must be.

// The items of "* 4 FETCH (UID 7 RFC822.SIZE 120 ...)" by their upper-case names; nothing
// for a response that is no FETCH data.
std::optional<QHash<QByteArray, ImapToken>> fetchItems(const ImapResponse &response);

// The draft told of by the items of "UID RFC822.SIZE FLAGS ENVELOPE BODYSTRUCTURE".
FolderDraft fetchedDraft(const QHash<QByteArray, ImapToken> &items);

// The addresses of To, Cc and Bcc of an ENVELOPE, as local@host; group names left out.
QStringList envelopeRecipients(const ImapToken &envelope);

// The file names of the parts of a BODYSTRUCTURE, in order and decoded: the disposition's
// filename, else the type's name. The parts of an attached message are its own, not listed.
QStringList attachmentNames(const ImapToken &bodyStructure);

// The number of a UID or size item.
std::uint64_t fetchedNumber(const ImapToken &token, const char *item);
