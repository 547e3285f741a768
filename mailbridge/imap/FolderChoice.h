#pragma once

#include "mailbridge/imap/ImapResponses.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// What a folder the messages go into is for: the drafts to review, or the copies of sent mail.
enum class FolderRole
{
    Drafts,
    Sent,
};

// "\Drafts" or "\Sent": the special use (RFC 6154) that marks the role's folder.
QByteArray specialUse(FolderRole role);
// "Drafts" or "Sent": the name looked for, or created, where the server marks none.
QByteArray usualFolderName(FolderRole role);

// Which folder a role's messages go into, from what the server listed: the one set in the
// account; else the one the server marks with the role's special use; else the role's usual
// name under the personal namespace, found without regard to case, or else to be created.
struct FolderChoice
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
    FolderRole role = FolderRole::Drafts;

    // How it was chosen, as a person reads it.
    QString reason() const;
};

// Whether the choice needs the personal namespace (NAMESPACE) beside the LIST answer.
bool folderChoiceNeedsNamespace(FolderRole role, const QString &setFolder,
                                const QList<ListedMailbox> &folders);

// setFolder: the folder set in the account, empty for none. personal: the first personal
// namespace, when the server told it.
FolderChoice chooseFolder(FolderRole role, const QString &setFolder,
                          const QList<ListedMailbox> &folders,
                          const std::optional<ImapNamespace> &personal);

// The selectable folders, decoded and joined by ", ", to name in a failure.
QString offeredFolders(const QList<ListedMailbox> &folders);
