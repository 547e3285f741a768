#include "mailbridge/imap/ImapResponses.h"

namespace {

bool isUntagged(const QByteArray &line)
{
    return line.startsWith("* ");
}

std::optional<std::uint64_t> number(const QByteArray &text)
{
    bool ok = false;
    const std::uint64_t value = text.toULongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

// Reads an atom or quoted string at pos; moves pos past it.
QByteArray readString(const QByteArray &line, qsizetype &pos)
{
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    QByteArray value;
    if (pos < line.size() && line[pos] == '"') {
        for (++pos; pos < line.size() && line[pos] != '"'; ++pos) {
            if (line[pos] == '\\' && pos + 1 < line.size())
                ++pos;
            value += line[pos];
        }
        ++pos;
        return value;
    }
    while (pos < line.size() && line[pos] != ' ')
        value += line[pos++];
    return value;
}

} // namespace

QList<QByteArray> capabilitiesIn(const QList<QByteArray> &lines)
{
    QList<QByteArray> capabilities;
    for (const QByteArray &line : lines) {
        const QByteArray upper = line.toUpper();
        QByteArray list;
        if (upper.startsWith("* CAPABILITY ")) {
            list = upper.mid(13);
        } else if (const qsizetype start = upper.indexOf("[CAPABILITY "); start >= 0) {
            const qsizetype end = upper.indexOf(']', start);
            list = upper.mid(start + 12, end < 0 ? -1 : end - start - 12);
        } else {
            continue;
        }
        capabilities = list.simplified().split(' ');
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

QList<ListedMailbox> listedMailboxes(const QList<QByteArray> &lines, const QByteArray &kind)
{
    const QByteArray prefix = "* " + kind + ' ';
    QList<ListedMailbox> mailboxes;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (!line.toUpper().startsWith(prefix))
            continue;
        const qsizetype open = line.indexOf('(');
        const qsizetype close = line.indexOf(')', open);
        if (open < 0 || close < 0)
            continue;
        ListedMailbox mailbox;
        mailbox.attributes = line.mid(open + 1, close - open - 1).simplified().split(' ');
        qsizetype pos = close + 1;
        readString(line, pos); // the hierarchy delimiter, or NIL
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (line.mid(pos).startsWith('{') && line.endsWith('}') && i + 1 < lines.size()) {
            const auto size = number(line.mid(pos + 1, line.size() - pos - 2));
            mailbox.name = lines[++i].left(qsizetype(size.value_or(0)));
        } else {
            mailbox.name = readString(line, pos);
        }
        mailboxes.push_back(mailbox);
    }
    return mailboxes;
}

QByteArray lastRefusal(const QList<QByteArray> &lines)
{
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (isUntagged(*line) || line->startsWith('+'))
            continue;
        const qsizetype space = line->indexOf(' ');
        const QByteArray rest = space < 0 ? QByteArray() : line->mid(space + 1);
        const QByteArray status = rest.left(rest.indexOf(' ')).toUpper();
        if (status == "NO" || status == "BAD")
            return rest;
    }
    return QByteArray();
}

std::optional<std::uint64_t> statusItem(const QList<QByteArray> &lines, const QByteArray &item)
{
    for (const QByteArray &line : lines) {
        if (!line.toUpper().startsWith("* STATUS "))
            continue;
        const qsizetype open = line.lastIndexOf('(');
        const QList<QByteArray> words =
            line.mid(open + 1).replace(')', ' ').simplified().toUpper().split(' ');
        for (qsizetype i = 0; i + 1 < words.size(); i += 2)
            if (words[i] == item.toUpper())
                return number(words[i + 1]);
    }
    return std::nullopt;
}
