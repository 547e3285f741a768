#include "ScriptedImapPeer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// The connection ended: the client left, the script closes it, or the peer stops.
struct Closed
{
};

constexpr qsizetype maxLine = 1024 * 1024;

// The marker of a literal at the end of a command line: "{12}" or "{12+}".
bool endsWithLiteral(const QByteArray &line, qsizetype &at, std::uint64_t &size, bool &sync)
{
    if (!line.endsWith('}'))
        return false;
    at = line.lastIndexOf('{');
    if (at < 0)
        return false;
    QByteArray digits = line.mid(at + 1, line.size() - at - 2);
    sync = !digits.endsWith('+');
    if (!sync)
        digits.chop(1);
    bool ok = false;
    size = digits.toULongLong(&ok);
    return ok && !digits.isEmpty();
}

// Words of a command: atoms, quoted strings unquoted, and bracketed lists kept whole.
void tokenize(const QByteArray &text, QList<QByteArray> &words)
{
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ') {
            ++i;
        } else if (c == '"') {
            QByteArray word;
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size())
                    ++i;
                word += text[i];
            }
            ++i;
            words << word;
        } else if (c == '(' || c == '[') {
            const qsizetype start = i;
            int depth = 0;
            bool quoted = false;
            for (; i < text.size(); ++i) {
                if (text[i] == '"')
                    quoted = !quoted;
                else if (!quoted && (text[i] == '(' || text[i] == '['))
                    ++depth;
                else if (!quoted && (text[i] == ')' || text[i] == ']') && --depth == 0)
                    break;
            }
            ++i;
            words << text.mid(start, i - start);
        } else {
            const qsizetype start = i;
            while (i < text.size() && text[i] != ' ')
                ++i;
            words << text.mid(start, i - start);
        }
    }
}

// IMAP's LIST wildcards: * matches anything, % anything but the separator.
bool matches(const QByteArray &pattern, const QByteArray &name, char separator)
{
    if (pattern.isEmpty())
        return name.isEmpty();
    if (pattern[0] == '*' || pattern[0] == '%') {
        for (qsizetype i = 0; i <= name.size(); ++i) {
            if (matches(pattern.mid(1), name.mid(i), separator))
                return true;
            if (i < name.size() && pattern[0] == '%' && name[i] == separator)
                return false;
        }
        return false;
    }
    return !name.isEmpty() && pattern[0] == name[0] &&
           matches(pattern.mid(1), name.mid(1), separator);
}

QByteArray quoted(const QByteArray &text)
{
    QByteArray escaped = text;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

// Whether a header field of the message contains the value, both read without case.
bool headerContains(const QByteArray &message, const QByteArray &field, const QByteArray &value)
{
    qsizetype end = message.indexOf("\r\n\r\n");
    if (end < 0)
        end = message.indexOf("\n\n");
    const QByteArray prefix = field.toLower() + ':';
    for (QByteArray line : message.left(end).split('\n')) {
        line = line.trimmed();
        if (line.toLower().startsWith(prefix) &&
            line.mid(prefix.size()).toLower().contains(value.toLower()))
            return true;
    }
    return false;
}

} // namespace

class ScriptedImapPeer::Connection
{
public:
    Connection(ScriptedImapPeer &peer, int fd, qsizetype index)
        : m_peer(peer), m_script(peer.m_script), m_fd(fd), m_index(index)
    {
    }
    ~Connection() { ::close(m_fd); }

    void run()
    {
        try {
            bool refusing = false;
            {
                std::lock_guard lock(m_peer.m_mutex);
                refusing = m_peer.m_refusing;
            }
            if (refusing) {
                sendLine("* BYE No more connections");
                return;
            }
            if (m_script.silence == ImapPeerScript::Silence::Greeting)
                listenOnly();
            sendLine("* OK Scripted peer ready");
            for (;;)
                serve(readCommand());
        } catch (const Closed &) {
        }
    }

private:
    struct Command
    {
        QByteArray tag;
        QByteArray verb;
        QList<QByteArray> arguments;
        // An APPEND's message literal, not read yet.
        std::uint64_t messageSize = 0;
        bool messageSynchronizing = true;
    };

    void waitFor(short events)
    {
        pollfd entry = {m_fd, events, 0};
        for (;;) {
            if (m_peer.m_stopping)
                throw Closed();
            const int ready = ::poll(&entry, 1, 50);
            if (ready > 0)
                return;
            if (ready < 0 && errno != EINTR)
                throw Closed();
        }
    }

    void receiveMore()
    {
        waitFor(POLLIN);
        char chunk[65536];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            throw Closed();
        m_buffer.append(chunk, n);
        std::lock_guard lock(m_peer.m_mutex);
        m_peer.m_received[m_index].append(chunk, n);
    }

    // A line without its CRLF; a client that never ends one is dropped.
    QByteArray readLine()
    {
        for (;;) {
            const qsizetype end = m_buffer.indexOf("\r\n");
            if (end >= 0) {
                const QByteArray line = m_buffer.left(end);
                m_buffer.remove(0, end + 2);
                return line;
            }
            if (m_buffer.size() > maxLine)
                throw Closed();
            receiveMore();
        }
    }

    QByteArray readBytes(std::uint64_t size)
    {
        while (std::uint64_t(m_buffer.size()) < size)
            receiveMore();
        const QByteArray bytes = m_buffer.left(qsizetype(size));
        m_buffer.remove(0, qsizetype(size));
        return bytes;
    }

    void send(const char *data, std::size_t size)
    {
        while (size > 0) {
            waitFor(POLLOUT);
            const ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                throw Closed();
            data += n;
            size -= std::size_t(n);
        }
    }

    void sendLine(const QByteArray &line)
    {
        const QByteArray bytes = line + "\r\n";
        send(bytes.constData(), std::size_t(bytes.size()));
    }

    void answer(const Command &command, const QByteArray &text)
    {
        sendLine(command.tag + ' ' + text);
    }

    // Takes in whatever comes, answering nothing, until the client leaves.
    [[noreturn]] void listenOnly()
    {
        {
            std::lock_guard lock(m_peer.m_mutex);
            ++m_peer.m_silentConnections;
        }
        for (;;) {
            receiveMore();
            m_buffer.clear();
        }
    }

    Command readCommand()
    {
        Command command;
        QList<QByteArray> words;
        QByteArray line = readLine();
        for (;;) {
            qsizetype at = 0;
            std::uint64_t size = 0;
            bool sync = true;
            if (!endsWithLiteral(line, at, size, sync)) {
                tokenize(line, words);
                break;
            }
            tokenize(line.left(at), words);
            if (words.size() >= 3 && words[1].toUpper() == "APPEND") {
                command.messageSize = size;
                command.messageSynchronizing = sync;
                break;
            }
            if (sync)
                sendLine("+ go ahead");
            words << readBytes(size);
            line = readLine();
        }
        command.tag = words.value(0);
        command.verb = words.value(1).toUpper();
        command.arguments = words.mid(2);
        if (command.verb == "UID" && !command.arguments.isEmpty())
            command.verb += ' ' + command.arguments.takeFirst().toUpper();
        std::lock_guard lock(m_peer.m_mutex);
        m_peer.m_commands << (command.verb + ' ' + command.arguments.join(' ')).trimmed();
        return command;
    }

    void serve(const Command &command)
    {
        if (!m_script.endlessAnswerTo.isEmpty() && command.verb == m_script.endlessAnswerTo)
            sendEndlessLine();
        const QByteArray &verb = command.verb;
        if (!m_script.floodTo.isEmpty() && verb == m_script.floodTo)
            flood(m_script.floodLines);
        if (const auto scripted = m_script.scriptedAnswers.find(verb);
            scripted != m_script.scriptedAnswers.end() && !scripted->second.isEmpty()) {
            send(scripted->second.constData(), std::size_t(scripted->second.size()));
            answer(command, "OK " + verb + " completed");
            return;
        }
        if (verb == "CAPABILITY") {
            sendLine("* CAPABILITY IMAP4rev1 " + m_script.capabilities.join(' '));
            answer(command, "OK CAPABILITY completed");
        } else if (verb == "LOGIN") {
            if (m_script.silence == ImapPeerScript::Silence::Login)
                listenOnly();
            answer(command, "OK LOGIN completed");
        } else if (verb == "AUTHENTICATE") {
            authenticate(command);
        } else if (verb == "NOOP" || verb == "CHECK" || verb == "ENABLE" || verb == "ID") {
            answer(command, "OK " + verb + " completed");
        } else if (verb == "LOGOUT") {
            sendLine("* BYE Logging out");
            answer(command, "OK LOGOUT completed");
            throw Closed();
        } else if (verb == "CLOSE" || verb == "UNSELECT") {
            m_selected.clear();
            answer(command, "OK " + verb + " completed");
        } else if (verb == "LIST" || verb == "LSUB") {
            list(command);
        } else if (verb == "NAMESPACE") {
            sendLine("* NAMESPACE " + m_script.namespaces);
            answer(command, "OK NAMESPACE completed");
        } else if (verb == "CREATE") {
            create(command);
        } else if (verb == "SUBSCRIBE") {
            subscribe(command);
        } else if (verb == "STATUS") {
            status(command);
        } else if (verb == "SELECT" || verb == "EXAMINE") {
            select(command);
        } else if (verb == "SEARCH" || verb == "UID SEARCH") {
            search(command);
        } else if (verb == "APPEND") {
            append(command);
        } else {
            answer(command, "BAD unknown command");
        }
    }

    // Sent in large blocks, so that the client, not the peer, is what falls behind.
    void flood(std::uint64_t lines)
    {
        const QByteArray line = m_script.floodLine + "\r\n";
        if (m_script.floodPause.count() > 0) {
            for (std::uint64_t sent = 0; sent < lines; ++sent) {
                send(line.constData(), std::size_t(line.size()));
                std::this_thread::sleep_for(m_script.floodPause);
            }
            return;
        }
        const std::uint64_t perBlock = std::max<std::uint64_t>(1, 65536 / line.size());
        const QByteArray block = line.repeated(qsizetype(perBlock));
        std::uint64_t sent = 0;
        for (; sent + perBlock <= lines; sent += perBlock)
            send(block.constData(), std::size_t(block.size()));
        for (; sent < lines; ++sent)
            send(line.constData(), std::size_t(line.size()));
    }

    void authenticate(const Command &command)
    {
        if (!m_script.capabilities.contains("AUTH=XOAUTH2") &&
            !m_script.capabilities.contains("AUTH=OAUTHBEARER")) {
            answer(command, "NO use LOGIN");
            return;
        }
        if (command.arguments.size() < 2) {
            sendLine("+ ");
            readLine();
        }
        while (m_script.endlessContinuations) {
            sendLine("+ eyJzdGF0dXMiOiI0MDEifQ==");
            readLine();
        }
        bool refuse = false;
        {
            std::lock_guard lock(m_peer.m_mutex);
            refuse = m_peer.m_tokenRefusals < m_script.tokenRefusals;
            m_peer.m_tokenRefusals += refuse ? 1 : 0;
        }
        if (!refuse) {
            answer(command, "OK AUTHENTICATE completed");
            return;
        }
        answer(command, "NO [AUTHENTICATIONFAILED] The token has expired");
        if (m_script.closeAfterTokenRefusal)
            throw Closed();
    }

    [[noreturn]] void sendEndlessLine()
    {
        const QByteArray chunk(64 * 1024, 'x');
        send("* ", 2);
        for (std::uint64_t sent = 0; sent < m_script.endlessBytes;
             sent += std::uint64_t(chunk.size()))
            send(chunk.constData(), std::size_t(chunk.size()));
        listenOnly();
    }

    void list(const Command &command)
    {
        const bool subscribedOnly = command.verb == "LSUB";
        if (subscribedOnly && m_script.lsubFails) {
            answer(command, "NO LSUB is not available");
            return;
        }
        const QByteArray pattern = command.arguments.value(0) + command.arguments.value(1);
        if (command.arguments.value(1).isEmpty()) {
            sendLine("* LIST (\\Noselect) " + quoted(QByteArray(1, m_script.separator)) + " \"\"");
            answer(command, "OK LIST completed");
            return;
        }
        QList<QByteArray> lines;
        {
            std::lock_guard lock(m_peer.m_mutex);
            for (const auto &[name, folder] : m_peer.m_folders) {
                const bool inbox = name.toUpper() == "INBOX";
                if (!matches(pattern, name, m_script.separator) &&
                    !(inbox && matches(pattern.toUpper(), name.toUpper(), m_script.separator)))
                    continue;
                if (subscribedOnly && !folder.subscribed)
                    continue;
                const QByteArray attributes =
                    subscribedOnly ? QByteArray()
                                   : ("\\HasNoChildren " + folder.attributes).trimmed();
                lines << "* " + command.verb + " (" + attributes + ") " +
                             quoted(QByteArray(1, m_script.separator)) + ' ' + quoted(name);
            }
        }
        for (const QByteArray &line : lines)
            sendLine(line);
        answer(command, "OK " + command.verb + " completed");
    }

    void create(const Command &command)
    {
        const QByteArray name = command.arguments.value(0);
        const QByteArray use = command.arguments.mid(1).join(' ').toUpper();
        QByteArray reply = "OK CREATE completed";
        {
            std::lock_guard lock(m_peer.m_mutex);
            if (!use.isEmpty() && (!m_script.capabilities.contains("CREATE-SPECIAL-USE") ||
                                   m_script.refuseSpecialUse))
                reply = "NO [USEATTR] The mark is not taken here";
            else if (m_peer.m_folders.count(name))
                reply = "NO [ALREADYEXISTS] Mailbox exists";
            else if (name.isEmpty() || !name.startsWith(m_script.createPrefix))
                reply = "NO [CANNOT] Invalid mailbox name";
            else
                m_peer.m_folders[name].attributes = use.contains("\\DRAFTS") ? "\\Drafts" : "";
        }
        answer(command, reply);
    }

    void subscribe(const Command &command)
    {
        if (m_script.subscribeFails) {
            answer(command, "NO Subscriptions are not kept here");
            return;
        }
        bool known = false;
        {
            std::lock_guard lock(m_peer.m_mutex);
            const auto found = m_peer.m_folders.find(command.arguments.value(0));
            known = found != m_peer.m_folders.end();
            if (known)
                found->second.subscribed = true;
        }
        answer(command, known ? "OK SUBSCRIBE completed" : "NO [NONEXISTENT] No such mailbox");
    }

    // The messages of a folder; none when it does not exist.
    std::optional<QList<QByteArray>> folderMessages(const QByteArray &name)
    {
        std::lock_guard lock(m_peer.m_mutex);
        const auto found = m_peer.m_folders.find(name);
        if (found == m_peer.m_folders.end())
            return std::nullopt;
        return found->second.messages;
    }

    void status(const Command &command)
    {
        const QByteArray name = command.arguments.value(0);
        const auto messages = folderMessages(name);
        if (!messages) {
            answer(command, "NO [NONEXISTENT] No such mailbox");
            return;
        }
        QList<QByteArray> items;
        QByteArray requested = command.arguments.value(1);
        requested.replace('(', ' ').replace(')', ' ');
        for (const QByteArray &item : requested.simplified().toUpper().split(' ')) {
            if (item == "MESSAGES")
                items << "MESSAGES " + QByteArray::number(messages->size());
            else if (item == "UIDNEXT")
                items << "UIDNEXT " + QByteArray::number(messages->size() + 1);
            else if (item == "UIDVALIDITY")
                items << "UIDVALIDITY 1";
            else if (item == "UNSEEN")
                items << "UNSEEN 0";
            else if (item == "APPENDLIMIT")
                items << "APPENDLIMIT " + (m_script.statusAppendLimit
                                               ? QByteArray::number(*m_script.statusAppendLimit)
                                               : QByteArray("NIL"));
        }
        const QByteArray shown = m_script.statusNameAsLiteral
                                     ? '{' + QByteArray::number(name.size()) + "}\r\n" + name
                                     : quoted(name);
        sendLine("* STATUS " + shown + " (" + items.join(' ') + ')');
        answer(command, "OK STATUS completed");
    }

    void select(const Command &command)
    {
        const QByteArray name = command.arguments.value(0);
        const auto messages = folderMessages(name);
        if (!messages) {
            m_selected.clear();
            answer(command, "NO [NONEXISTENT] No such mailbox");
            return;
        }
        m_selected = name;
        sendLine("* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)");
        sendLine("* " + QByteArray::number(messages->size()) + " EXISTS");
        sendLine("* 0 RECENT");
        sendLine("* OK [UIDVALIDITY 1] UIDs valid");
        sendLine("* OK [UIDNEXT " + QByteArray::number(messages->size() + 1) + "] Predicted");
        answer(command, command.verb == "SELECT" ? "OK [READ-WRITE] SELECT completed"
                                                 : "OK [READ-ONLY] EXAMINE completed");
    }

    // ALL and HEADER <field> <value>, the only criteria drafts need; UIDs are 1, 2, 3...
    void search(const Command &command)
    {
        if (m_script.silence == ImapPeerScript::Silence::Search)
            listenOnly();
        const auto messages = folderMessages(m_selected);
        if (m_selected.isEmpty() || !messages) {
            answer(command, "BAD No mailbox selected");
            return;
        }
        const QList<QByteArray> &criteria = command.arguments;
        const qsizetype header = criteria.indexOf("HEADER");
        QByteArray found;
        for (qsizetype i = 0; i < messages->size(); ++i) {
            if (header < 0 || headerContains(messages->at(i), criteria.value(header + 1),
                                             criteria.value(header + 2)))
                found += ' ' + QByteArray::number(i + 1);
        }
        sendLine("* SEARCH" + found);
        answer(command, "OK SEARCH completed");
    }

    void append(const Command &command)
    {
        const QByteArray folder = command.arguments.value(0);
        {
            std::lock_guard lock(m_peer.m_mutex);
            m_peer.m_appends.push_back({folder, command.messageSize, command.messageSynchronizing});
        }
        if (command.messageSize == 0 && command.arguments.size() < 2) {
            answer(command, "BAD APPEND without a message");
            return;
        }
        if (m_script.silence == ImapPeerScript::Silence::AppendLine)
            listenOnly();
        if (!m_script.earlyAppendAnswer.isEmpty()) {
            answer(command, m_script.earlyAppendAnswer);
            throw Closed();
        }
        const bool exists = folderMessages(folder).has_value();
        if (command.messageSynchronizing) {
            if (!exists) {
                answer(command, "NO [TRYCREATE] No such mailbox");
                return;
            }
            for (const QByteArray &line : m_script.untaggedBeforeContinuation)
                sendLine(line);
            sendLine("+ Ready for literal data");
        }
        const QByteArray message = readBytes(command.messageSize);
        readLine(); // the rest of the command: nothing, for one message
        if (!exists) {
            answer(command, "NO [TRYCREATE] No such mailbox");
            return;
        }
        bool close = false;
        {
            std::lock_guard lock(m_peer.m_mutex);
            if (m_script.afterLiteral == ImapPeerScript::AfterLiteral::Flood ||
                m_script.afterLiteral == ImapPeerScript::AfterLiteral::Silent) {
                close = true;
            } else if (m_script.afterLiteral != ImapPeerScript::AfterLiteral::Answer &&
                       m_peer.m_literalFailures < m_script.appendFailures) {
                ++m_peer.m_literalFailures;
                close = true;
                m_peer.m_refusing = m_script.refuseAfterClose;
                if (m_script.afterLiteral == ImapPeerScript::AfterLiteral::CloseStored)
                    m_peer.m_folders[folder].messages << message;
            } else if (m_script.appendAnswer.isEmpty()) {
                m_peer.m_folders[folder].messages << message;
            }
        }
        if (close && m_script.afterLiteral == ImapPeerScript::AfterLiteral::Flood)
            flood(~std::uint64_t(0));
        if (close && m_script.afterLiteral == ImapPeerScript::AfterLiteral::Silent)
            listenOnly();
        if (close)
            throw Closed();
        if (!m_script.appendAnswer.isEmpty()) {
            answer(command, m_script.appendAnswer);
            return;
        }
        answer(command, "OK APPEND completed");
    }

    ScriptedImapPeer &m_peer;
    const ImapPeerScript &m_script;
    const int m_fd;
    const qsizetype m_index;
    QByteArray m_buffer;
    QByteArray m_selected;
};

ScriptedImapPeer::ScriptedImapPeer(ImapPeerScript script) : m_script(std::move(script))
{
    for (const ImapPeerScript::Folder &folder : m_script.folders)
        m_folders[folder.name].attributes = folder.attributes;

    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        ::listen(m_listener, 16) != 0) {
        if (m_listener >= 0)
            ::close(m_listener);
        throw std::runtime_error("the scripted IMAP peer cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

ScriptedImapPeer::~ScriptedImapPeer()
{
    m_stopping = true;
    m_acceptor.join();
    for (std::thread &worker : m_workers)
        worker.join();
    ::close(m_listener);
}

void ScriptedImapPeer::acceptLoop()
{
    pollfd entry = {m_listener, POLLIN, 0};
    while (!m_stopping) {
        if (::poll(&entry, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        qsizetype index = 0;
        {
            std::lock_guard lock(m_mutex);
            ++m_connections;
            index = m_received.size();
            m_received.append(QByteArray());
        }
        m_workers.emplace_back([this, fd, index] { Connection(*this, fd, index).run(); });
    }
}

int ScriptedImapPeer::connections() const
{
    std::lock_guard lock(m_mutex);
    return m_connections;
}

int ScriptedImapPeer::silentConnections() const
{
    std::lock_guard lock(m_mutex);
    return m_silentConnections;
}

QList<QByteArray> ScriptedImapPeer::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

QList<QByteArray> ScriptedImapPeer::commands() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

std::vector<ScriptedImapPeer::Append> ScriptedImapPeer::appends() const
{
    std::lock_guard lock(m_mutex);
    return m_appends;
}

QList<QByteArray> ScriptedImapPeer::messagesIn(const QByteArray &folder) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_folders.find(folder);
    return found == m_folders.end() ? QList<QByteArray>() : found->second.messages;
}

QList<QByteArray> ScriptedImapPeer::folderNames() const
{
    std::lock_guard lock(m_mutex);
    QList<QByteArray> names;
    for (const auto &entry : m_folders)
        names << entry.first;
    return names;
}

QByteArray ScriptedImapPeer::bareLineFeed() const
{
    const QList<QByteArray> all = received();
    for (qsizetype c = 0; c < all.size(); ++c) {
        const QByteArray &bytes = all[c];
        for (qsizetype i = bytes.indexOf('\n'); i >= 0; i = bytes.indexOf('\n', i + 1)) {
            if (i > 0 && bytes[i - 1] == '\r')
                continue;
            const qsizetype from = std::max<qsizetype>(0, i - 40);
            return "connection " + QByteArray::number(c + 1) + ", byte " + QByteArray::number(i) +
                   ": ..." + bytes.mid(from, i - from).replace('\r', "\\r") + "\\n" +
                   bytes.mid(i + 1, 20).replace('\r', "\\r").replace('\n', "\\n") + "...";
        }
    }
    return QByteArray();
}

QByteArray ScriptedImapPeer::attributesOf(const QByteArray &folder) const
{
    std::lock_guard lock(m_mutex);
    const auto found = m_folders.find(folder);
    return found == m_folders.end() ? QByteArray() : found->second.attributes;
}
