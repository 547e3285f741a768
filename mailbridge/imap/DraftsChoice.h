#pragma once

#include "mailbridge/imap/ImapResponses.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Which folder drafts go into, from what the server listed: the one set in the account;
// else the one the server marks \Drafts; else a "Drafts" under the personal namespace,
// found without regard to case, or else to be created.
struct DraftsChoice
{
    enum Kind
    {
        Set,        // set in the account, and there
        SetMissing, // set in the account, and not there
        Marked,
        UsualName,
        Create,
    };
    Kind kind = Marked;
    QByteArray folder; // encoded as IMAP names it

    // How it was chosen, as a person reads it.
    QString reason() const;
};

// Whether the choice needs the personal namespace (NAMESPACE) beside the LIST answer.
bool draftsChoiceNeedsNamespace(const QString &setFolder, const QList<ListedMailbox> &folders);

// setFolder: the folder set in the account, empty for none. personal: the first personal
// namespace, when the server told it.
DraftsChoice chooseDraftsFolder(const QString &setFolder, const QList<ListedMailbox> &folders,
                                const std::optional<ImapNamespace> &personal);

// The selectable folders, decoded and joined by ", ", to name in a failure.
QString offeredFolders(const QList<ListedMailbox> &folders);
