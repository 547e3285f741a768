#include "mailbridge/imap/FetchedDraft.h"

#include "mailbridge/compose/HeaderDecoding.h"

#include <vector>

namespace {

// More parts than any draft a person filed; a structure past it is not read on.
constexpr int maxParts = 10000;

[[noreturn]] void malformed(const std::string &what)
{
    throw ImapReadError(what);
}

const ImapToken &item(const QList<ImapToken> &items, qsizetype at)
{
    static const ImapToken nil{ImapToken::Atom, "NIL", {}, false};
    return at < items.size() ? items[at] : nil;
}

bool isText(const ImapToken &token)
{
    return token.kind != ImapToken::List && !token.isNil();
}

QString messageIdOf(const ImapToken &token)
{
    if (!isText(token))
        return QString();
    QByteArray id = token.text.trimmed();
    if (id.startsWith('<'))
        id.remove(0, 1);
    if (id.endsWith('>'))
        id.chop(1);
    return decodedHeaderText(id);
}

QList<QPair<QByteArray, QByteArray>> parameters(const ImapToken &list)
{
    QList<QPair<QByteArray, QByteArray>> found;
    if (list.kind != ImapToken::List)
        return found;
    for (qsizetype i = 0; i + 1 < list.items.size(); i += 2)
        if (isText(list.items[i]) && isText(list.items[i + 1]))
            found.push_back({list.items[i].text.toLower(), list.items[i + 1].text});
    return found;
}

// Where a single part's disposition is: after its basic fields, the lines of a text part,
// and the envelope, body and lines of an attached message, then the MD5.
qsizetype dispositionAt(const QList<ImapToken> &part, bool &attachedMessage)
{
    const QByteArray type = item(part, 0).text.toUpper();
    const QByteArray subtype = item(part, 1).text.toUpper();
    attachedMessage = type == "MESSAGE" && (subtype == "RFC822" || subtype == "GLOBAL");
    if (attachedMessage)
        return 11;
    return type == "TEXT" ? 9 : 8;
}

} // namespace

std::optional<QHash<QByteArray, ImapToken>> fetchItems(const ImapResponse &response)
{
    if (response.kind != ImapResponse::Untagged || !response.status.isEmpty() ||
        response.dataName() != "FETCH")
        return std::nullopt;
    if (response.data.size() != 3 || response.data[2].kind != ImapToken::List)
        malformed("a FETCH response without its list of items");
    const QList<ImapToken> &list = response.data[2].items;
    if (list.size() % 2 != 0)
        malformed("a FETCH response with an item without its value");
    QHash<QByteArray, ImapToken> items;
    for (qsizetype i = 0; i < list.size(); i += 2) {
        if (list[i].kind != ImapToken::Atom)
            malformed("a FETCH response with an item that has no name");
        items.insert(list[i].text.toUpper(), list[i + 1]);
    }
    return items;
}

std::uint64_t fetchedNumber(const ImapToken &token, const char *name)
{
    bool ok = false;
    const std::uint64_t value = token.text.toULongLong(&ok);
    if (token.kind != ImapToken::Atom || !ok)
        malformed(std::string("a FETCH response whose ") + name + " is no number");
    return value;
}

FolderDraft fetchedDraft(const QHash<QByteArray, ImapToken> &items)
{
    for (const char *name : {"UID", "RFC822.SIZE", "FLAGS", "ENVELOPE", "BODYSTRUCTURE"})
        if (!items.contains(name))
            malformed(std::string("a FETCH response without ") + name);
    FolderDraft draft;
    draft.uid = fetchedNumber(items.value("UID"), "UID");
    draft.size = fetchedNumber(items.value("RFC822.SIZE"), "RFC822.SIZE");
    const ImapToken flags = items.value("FLAGS");
    const ImapToken envelope = items.value("ENVELOPE");
    if (flags.kind != ImapToken::List || envelope.kind != ImapToken::List)
        malformed("a FETCH response whose FLAGS or ENVELOPE is no list");
    for (const ImapToken &flag : flags.items)
        if (flag.kind == ImapToken::Atom)
            draft.flags.push_back(flag.text);
    if (const ImapToken &subject = item(envelope.items, 1); isText(subject))
        draft.subject = decodedHeaderText(subject.text);
    draft.messageId = messageIdOf(item(envelope.items, 9));
    draft.recipients = envelopeRecipients(envelope);
    draft.attachmentNames = attachmentNames(items.value("BODYSTRUCTURE"));
    return draft;
}

QStringList envelopeRecipients(const ImapToken &envelope)
{
    QStringList addresses;
    for (const qsizetype field : {5, 6, 7}) {
        const ImapToken &list = item(envelope.items, field);
        if (list.kind != ImapToken::List)
            continue;
        for (const ImapToken &address : list.items) {
            // (name adl mailbox host); a group's start and end have no host.
            const ImapToken &mailbox = item(address.items, 2);
            const ImapToken &host = item(address.items, 3);
            if (address.kind == ImapToken::List && isText(mailbox) && isText(host))
                addresses << decodedHeaderText(mailbox.text + '@' + host.text);
        }
    }
    return addresses;
}

QStringList attachmentNames(const ImapToken &bodyStructure)
{
    QStringList names;
    if (bodyStructure.kind != ImapToken::List)
        malformed("a BODYSTRUCTURE that is no list");
    std::vector<const ImapToken *> open{&bodyStructure};
    int parts = 0;
    while (!open.empty()) {
        const ImapToken &part = *open.back();
        open.pop_back();
        if (part.kind != ImapToken::List || part.items.isEmpty())
            malformed("a BODYSTRUCTURE with an empty or missing part");
        if (++parts > maxParts)
            malformed("a BODYSTRUCTURE of more than " + std::to_string(maxParts) + " parts");
        if (part.items.front().kind == ImapToken::List) {
            // A multipart: its parts, then its subtype and extensions.
            qsizetype count = 0;
            while (count < part.items.size() && part.items[count].kind == ImapToken::List)
                ++count;
            for (qsizetype i = count; i-- > 0;)
                open.push_back(&part.items[i]);
            continue;
        }
        bool attachedMessage = false;
        const ImapToken &disposition = item(part.items, dispositionAt(part.items, attachedMessage));
        QString name;
        if (disposition.kind == ImapToken::List)
            name = decodedParameter(parameters(item(disposition.items, 1)), "filename");
        if (name.isEmpty())
            name = decodedParameter(parameters(item(part.items, 2)), "name");
        if (!name.isEmpty())
            names << name;
    }
    return names;
}
