#include "mailbridge/imap/ImapResponses.h"

namespace {

std::optional<std::uint64_t> number(const QByteArray &text)
{
    bool ok = false;
    const std::uint64_t value = text.toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

// Reads the tokens from pos up to the end or the ')' closing the list they are in.
QList<ImapToken> readTokens(const QByteArray &text, qsizetype &pos)
{
    QList<ImapToken> tokens;
    while (pos < text.size()) {
        const char c = text[pos];
        if (isSpace(c)) {
            ++pos;
        } else if (c == ')') {
            ++pos;
            return tokens;
        } else if (c == '(') {
            ++pos;
            ImapToken list;
            list.kind = ImapToken::List;
            list.items = readTokens(text, pos);
            tokens.push_back(list);
        } else if (c == '"') {
            ImapToken string;
            string.kind = ImapToken::String;
            for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
                if (text[pos] == '\\' && pos + 1 < text.size())
                    ++pos;
                string.text += text[pos];
            }
            ++pos;
            tokens.push_back(string);
        } else {
            // An atom runs to a space or a parenthesis; brackets belong to it
            // ("BODY[HEADER]"), as do backslashes ("\Drafts").
            ImapToken atom;
            while (pos < text.size() && !isSpace(text[pos]) && text[pos] != '(' &&
                   text[pos] != ')' && text[pos] != '"')
                atom.text += text[pos++];
            tokens.push_back(atom);
        }
    }
    return tokens;
}

QList<ImapToken> dataTokens(const QByteArray &response, const QByteArray &name)
{
    const ImapResponse parsed = parseImapResponse(response);
    if (parsed.kind != ImapResponse::Untagged || !parsed.status.isEmpty())
        return {};
    QList<ImapToken> tokens = imapTokens(parsed.rest);
    if (tokens.isEmpty() || tokens.front().text.compare(name, Qt::CaseInsensitive) != 0)
        return {};
    tokens.pop_front();
    return tokens;
}

} // namespace

QList<ImapToken> imapTokens(const QByteArray &text)
{
    qsizetype pos = 0;
    QList<ImapToken> tokens;
    while (pos < text.size())
        tokens += readTokens(text, pos); // a stray ')' ends nothing at the top
    return tokens;
}

QByteArray ImapResponse::codeName() const
{
    const qsizetype space = code.indexOf(' ');
    return (space < 0 ? code : code.left(space)).toUpper();
}

ImapResponse parseImapResponse(const QByteArray &response)
{
    ImapResponse parsed;
    qsizetype pos = response.indexOf(' ');
    if (pos < 0)
        pos = response.size();
    const QByteArray first = response.left(pos);
    if (first == "+") {
        parsed.kind = ImapResponse::Continuation;
        parsed.rest = response.mid(pos + 1);
        return parsed;
    }
    if (first == "*") {
        parsed.kind = ImapResponse::Untagged;
    } else {
        parsed.kind = ImapResponse::Tagged;
        parsed.tag = first;
    }
    ++pos;
    qsizetype end = response.indexOf(' ', pos);
    if (end < 0)
        end = response.size();
    const QByteArray word = response.mid(pos, end - pos).toUpper();
    const bool status =
        word == "OK" || word == "NO" || word == "BAD" ||
        (parsed.kind == ImapResponse::Untagged && (word == "BYE" || word == "PREAUTH"));
    if (!status) {
        parsed.rest = response.mid(pos);
        return parsed;
    }
    parsed.status = word;
    pos = end + 1;
    // Only here does a bracket open a response code; later ones are text.
    if (pos < response.size() && response[pos] == '[') {
        const qsizetype close = response.indexOf(']', pos);
        if (close > pos) {
            parsed.code = response.mid(pos + 1, close - pos - 1);
            pos = close + 1;
            while (pos < response.size() && isSpace(response[pos]))
                ++pos;
        }
    }
    parsed.rest = response.mid(pos);
    return parsed;
}

QByteArray quotedForResponse(const QByteArray &literal)
{
    QByteArray quoted = "\"";
    for (const char c : literal) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

QList<QByteArray> capabilitiesIn(const QList<QByteArray> &responses)
{
    QList<QByteArray> capabilities;
    for (const QByteArray &response : responses) {
        const ImapResponse parsed = parseImapResponse(response);
        QByteArray list;
        if (parsed.codeName() == "CAPABILITY")
            list = parsed.code.mid(10);
        else if (parsed.kind == ImapResponse::Untagged && parsed.status.isEmpty() &&
                 parsed.rest.toUpper().startsWith("CAPABILITY "))
            list = parsed.rest.mid(11);
        else
            continue;
        capabilities = list.toUpper().simplified().split(' ');
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

QList<ListedMailbox> listedMailboxes(const QList<QByteArray> &responses, const QByteArray &kind)
{
    QList<ListedMailbox> mailboxes;
    for (const QByteArray &response : responses) {
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

QByteArray lastRefusal(const QList<QByteArray> &responses)
{
    for (auto response = responses.rbegin(); response != responses.rend(); ++response) {
        const ImapResponse parsed = parseImapResponse(*response);
        if (parsed.kind == ImapResponse::Tagged &&
            (parsed.status == "NO" || parsed.status == "BAD"))
            return response->mid(parsed.tag.size() + 1);
    }
    return QByteArray();
}

std::optional<std::uint64_t> statusItem(const QList<QByteArray> &responses, const QByteArray &item)
{
    for (const QByteArray &response : responses) {
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

std::optional<ImapNamespace> personalNamespace(const QList<QByteArray> &responses)
{
    for (const QByteArray &response : responses) {
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

QList<std::uint64_t> searchResults(const QList<QByteArray> &responses)
{
    QList<std::uint64_t> found;
    for (const QByteArray &response : responses)
        for (const ImapToken &token : dataTokens(response, "SEARCH"))
            if (const auto value = number(token.text))
                found.push_back(*value);
    return found;
}
