#include "mailbridge/imap/ImapResponses.h"

namespace {

std::optional<std::uint64_t> number(const QByteArray &text)
{
    bool ok = false;
    const std::uint64_t value = text.toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

// The tokens of untagged data named name, after the name.
QList<ImapToken> dataTokens(const ImapResponse &response, const QByteArray &name)
{
    if (response.kind != ImapResponse::Untagged || !response.status.isEmpty() ||
        response.data.isEmpty() ||
        response.data.front().text.compare(name, Qt::CaseInsensitive) != 0 ||
        response.data.front().kind != ImapToken::Atom)
        return {};
    return response.data.mid(1);
}

} // namespace

QList<QByteArray> capabilitiesIn(const QList<ImapResponse> &responses)
{
    QList<QByteArray> capabilities;
    for (const ImapResponse &response : responses) {
        if (response.codeName() == "CAPABILITY") {
            capabilities = response.code.mid(10).toUpper().simplified().split(' ');
        } else if (const QList<ImapToken> listed = dataTokens(response, "CAPABILITY");
                   !listed.isEmpty()) {
            capabilities.clear();
            for (const ImapToken &token : listed)
                capabilities.push_back(token.text.toUpper());
        }
    }
    return capabilities;
}

std::optional<std::uint64_t> appendLimitIn(const QList<QByteArray> &capabilities)
{
    for (const QByteArray &capability : capabilities)
        if (capability.startsWith("APPENDLIMIT="))
            return number(capability.mid(12));
    return std::nullopt;
}

QList<ListedMailbox> listedMailboxes(const QList<ImapResponse> &responses, const QByteArray &kind)
{
    QList<ListedMailbox> mailboxes;
    for (const ImapResponse &response : responses) {
        const QList<ImapToken> tokens = dataTokens(response, kind);
        if (tokens.size() < 3 || tokens[0].kind != ImapToken::List ||
            tokens[2].kind == ImapToken::List)
            continue;
        ListedMailbox mailbox;
        for (const ImapToken &attribute : tokens[0].items)
            mailbox.attributes.push_back(attribute.text);
        if (!tokens[1].isNil())
            mailbox.delimiter = tokens[1].text;
        mailbox.name = tokens[2].text;
        mailboxes.push_back(mailbox);
    }
    return mailboxes;
}

QByteArray lastRefusal(const QList<ImapResponse> &responses)
{
    for (auto response = responses.rbegin(); response != responses.rend(); ++response)
        if (response->kind == ImapResponse::Tagged &&
            (response->status == "NO" || response->status == "BAD"))
            return response->statusLine();
    return QByteArray();
}

std::optional<std::uint64_t> statusItem(const QList<ImapResponse> &responses,
                                        const QByteArray &item)
{
    for (const ImapResponse &response : responses) {
        const QList<ImapToken> tokens = dataTokens(response, "STATUS");
        if (tokens.size() < 2 || tokens[1].kind != ImapToken::List)
            continue;
        const QList<ImapToken> &items = tokens[1].items;
        for (qsizetype i = 0; i + 1 < items.size(); i += 2)
            if (items[i].text.compare(item, Qt::CaseInsensitive) == 0)
                return number(items[i + 1].text);
    }
    return std::nullopt;
}

std::optional<ImapNamespace> personalNamespace(const QList<ImapResponse> &responses)
{
    for (const ImapResponse &response : responses) {
        const QList<ImapToken> tokens = dataTokens(response, "NAMESPACE");
        if (tokens.isEmpty() || tokens[0].kind != ImapToken::List || tokens[0].items.isEmpty())
            continue;
        const ImapToken &first = tokens[0].items.front();
        if (first.kind != ImapToken::List || first.items.size() < 2)
            continue;
        return ImapNamespace{first.items[0].text,
                             first.items[1].isNil() ? QByteArray() : first.items[1].text};
    }
    return std::nullopt;
}

std::optional<std::uint64_t> codeNumber(const QList<ImapResponse> &responses,
                                        const QByteArray &code)
{
    for (const ImapResponse &response : responses)
        if (response.codeName() == code)
            return number(response.code.mid(code.size()).trimmed());
    return std::nullopt;
}

std::optional<QList<QByteArray>> permanentFlags(const QList<ImapResponse> &responses)
{
    for (const ImapResponse &response : responses) {
        if (response.codeName() != "PERMANENTFLAGS")
            continue;
        QByteArray listed = response.code.mid(14).trimmed();
        if (listed.startsWith('('))
            listed.remove(0, 1);
        if (listed.endsWith(')'))
            listed.chop(1);
        QList<QByteArray> flags;
        for (const QByteArray &flag : listed.simplified().split(' '))
            if (!flag.isEmpty())
                flags.push_back(flag);
        return flags;
    }
    return std::nullopt;
}

QList<std::uint64_t> searchResults(const QList<ImapResponse> &responses)
{
    QList<std::uint64_t> found;
    for (const ImapResponse &response : responses)
        for (const ImapToken &token : dataTokens(response, "SEARCH"))
            if (const auto value = number(token.text))
                found.push_back(*value);
    return found;
}

QList<ImapResponse> parsedResponses(const QList<QByteArray> &lines)
{
    QList<ImapResponse> responses;
    for (const QByteArray &line : lines)
        if (auto response = parseImapResponse(line))
            responses.push_back(std::move(*response));
    return responses;
}
