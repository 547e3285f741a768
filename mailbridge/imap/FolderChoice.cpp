#include "mailbridge/imap/FolderChoice.h"

#include "mailbridge/imap/MailboxName.h"

#include <QStringList>

#include <algorithm>
#include <cctype>

namespace {

bool sameName(const QByteArray &listed, const QByteArray &wanted)
{
    // INBOX is the same name whatever its case.
    const auto normal = [](const QByteArray &name) {
        return name.left(5).compare("INBOX", Qt::CaseInsensitive) == 0 &&
                       (name.size() == 5 || !std::isalnum(static_cast<unsigned char>(name[5])))
                   ? "INBOX" + name.mid(5)
                   : name;
    };
    return normal(listed) == normal(wanted);
}

bool hasAttribute(const ListedMailbox &folder, const char *attribute)
{
    return std::any_of(folder.attributes.begin(), folder.attributes.end(),
                       [attribute](const QByteArray &listed) {
                           return listed.compare(attribute, Qt::CaseInsensitive) == 0;
                       });
}

const ListedMailbox *marked(FolderRole role, const QList<ListedMailbox> &folders)
{
    const QByteArray use = specialUse(role);
    for (const ListedMailbox &folder : folders)
        if (hasAttribute(folder, use.constData()))
            return &folder;
    return nullptr;
}

} // namespace

QByteArray specialUse(FolderRole role)
{
    return role == FolderRole::Sent ? QByteArray("\\Sent") : QByteArray("\\Drafts");
}

QByteArray usualFolderName(FolderRole role)
{
    return role == FolderRole::Sent ? QByteArray("Sent") : QByteArray("Drafts");
}

QString FolderChoice::reason() const
{
    const QString use = QString::fromLatin1(specialUse(role));
    switch (kind) {
    case Set:
    case SetMissing:
        return QStringLiteral("set in the mail account");
    case Marked:
        return QStringLiteral("marked %1 by the server").arg(use);
    case UsualName:
        return QStringLiteral("the usual name; the server marks none %1").arg(use);
    case Create:
        break;
    }
    return QStringLiteral("created; the server marks none %1").arg(use);
}

bool folderChoiceNeedsNamespace(FolderRole role, const QString &setFolder,
                                const QList<ListedMailbox> &folders)
{
    return setFolder.isEmpty() && !marked(role, folders);
}

FolderChoice chooseFolder(FolderRole role, const QString &setFolder,
                          const QList<ListedMailbox> &folders,
                          const std::optional<ImapNamespace> &personal)
{
    if (!setFolder.isEmpty()) {
        const QByteArray wanted = encodeMailboxName(setFolder);
        for (const ListedMailbox &folder : folders)
            if (sameName(folder.name, wanted))
                return {FolderChoice::Set, folder.name, role};
        return {FolderChoice::SetMissing, wanted, role};
    }
    if (const ListedMailbox *folder = marked(role, folders))
        return {FolderChoice::Marked, folder->name, role};
    // Where the account's own folders live: "" on most servers, "INBOX." on others; without
    // an answer the top level is the guess every server allows most.
    const QByteArray wanted = (personal ? personal->prefix : QByteArray()) + usualFolderName(role);
    for (const ListedMailbox &folder : folders)
        if (folder.name.compare(wanted, Qt::CaseInsensitive) == 0 || sameName(folder.name, wanted))
            return {FolderChoice::UsualName, folder.name, role};
    return {FolderChoice::Create, wanted, role};
}

QString offeredFolders(const QList<ListedMailbox> &folders)
{
    QStringList names;
    for (const ListedMailbox &folder : folders)
        if (!hasAttribute(folder, "\\Noselect") && !hasAttribute(folder, "\\NonExistent"))
            names << decodeMailboxName(folder.name);
    return names.join(QStringLiteral(", "));
}
