// The scripted peer itself, spoken to byte by byte: the rows against the outbox are only as
// good as the peer's answers.
#include "support/ScriptedImapPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

class RawClient
{
public:
    explicit RawClient(int port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(std::uint16_t(port));
        EXPECT_EQ(::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    }
    ~RawClient() { ::close(m_fd); }

    void send(const QByteArray &bytes)
    {
        EXPECT_EQ(::send(m_fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL),
                  bytes.size());
    }

    // Everything up to and with the first line that starts with prefix; what came before it
    // too. Empty when the peer closes or stays silent for two seconds first.
    QByteArray until(const QByteArray &prefix)
    {
        for (;;) {
            qsizetype start = 0;
            for (qsizetype end = m_buffer.indexOf("\r\n"); end >= 0;
                 start = end + 2, end = m_buffer.indexOf("\r\n", start)) {
                if (m_buffer.mid(start).startsWith(prefix)) {
                    const QByteArray taken = m_buffer.left(end + 2);
                    m_buffer.remove(0, end + 2);
                    return taken;
                }
            }
            if (!receive())
                return QByteArray();
        }
    }

    // Whether the peer closed the connection (rather than answering or staying silent).
    bool closedByPeer()
    {
        while (receive()) {
        }
        return m_closed;
    }

private:
    bool receive()
    {
        pollfd entry = {m_fd, POLLIN, 0};
        if (::poll(&entry, 1, 2000) <= 0)
            return false;
        char chunk[4096];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            m_closed = true;
            return false;
        }
        m_buffer.append(chunk, n);
        return true;
    }

    int m_fd;
    QByteArray m_buffer;
    bool m_closed = false;
};

const QByteArray message = "Message-ID: <one@example.org>\r\nSubject: s\r\n\r\nbody\r\n";

QByteArray appendLine(const QByteArray &tag, const QByteArray &marker = "")
{
    return tag + " APPEND Drafts (\\Seen \\Draft) {" + QByteArray::number(message.size()) + marker +
           "}\r\n";
}

TEST(ScriptedImapPeerTest, AppendedMessageIsFoundByItsIdOnTheNextConnection)
{
    ScriptedImapPeer peer;
    {
        RawClient client(peer.port());
        EXPECT_FALSE(client.until("* OK").isEmpty());
        client.send("a1 LOGIN {2}\r\n");
        EXPECT_FALSE(client.until("+").isEmpty()) << "a synchronizing literal is asked for";
        client.send("me \"secret\"\r\n");
        EXPECT_FALSE(client.until("a1 OK").isEmpty());
        client.send(appendLine("a2"));
        EXPECT_FALSE(client.until("+").isEmpty());
        client.send(message + "\r\n");
        EXPECT_FALSE(client.until("a2 OK").isEmpty());
        client.send(appendLine("a3", "+") + message + "\r\n");
        EXPECT_FALSE(client.until("a3 OK").isEmpty());
    }
    RawClient client(peer.port());
    client.send("b1 LOGIN me secret\r\nb2 SELECT Drafts\r\n");
    EXPECT_TRUE(client.until("b2 OK").contains("* 2 EXISTS"));
    client.send("b3 UID SEARCH HEADER Message-ID \"<one@example.org>\"\r\n");
    EXPECT_TRUE(client.until("b3 OK").contains("* SEARCH 1 2\r\n"));
    client.send("b4 UID SEARCH HEADER Message-ID \"<two@example.org>\"\r\n");
    EXPECT_TRUE(client.until("b4 OK").contains("* SEARCH\r\n"));

    EXPECT_EQ(peer.connections(), 2);
    EXPECT_EQ(peer.messagesIn("Drafts"), (QList<QByteArray>{message, message}));
    ASSERT_EQ(peer.appends().size(), 2u);
    EXPECT_TRUE(peer.appends()[0].synchronizing);
    EXPECT_FALSE(peer.appends()[1].synchronizing);
    EXPECT_TRUE(peer.commands().contains("LOGIN me secret"));
    EXPECT_TRUE(peer.bareLineFeed().isEmpty()) << peer.bareLineFeed().data();
}

TEST(ScriptedImapPeerTest, BareLineFeedIsFoundOnItsConnection)
{
    ScriptedImapPeer peer;
    {
        RawClient client(peer.port());
        client.send("a1 NOOP\r\n");
        EXPECT_FALSE(client.until("a1 OK").isEmpty());
    }
    RawClient client(peer.port());
    client.send("a2 LOGIN \"me\nA3 DELETE INBOX\" secret\r\n");
    EXPECT_FALSE(client.until("a2 ").isEmpty());
    EXPECT_TRUE(peer.bareLineFeed().startsWith("connection 2, byte 12"))
        << peer.bareLineFeed().data();
}

TEST(ScriptedImapPeerTest, MisbehaviourComesWhereTheScriptPutsIt)
{
    struct Row
    {
        const char *name;
        std::function<void(ImapPeerScript &)> script;
        // The first connection's exchange after LOGIN; the expected answers.
        std::function<void(RawClient &, const ScriptedImapPeer &)> talk;
    };
    const Row rows[] = {
        {"untagged data before the go-ahead",
         [](ImapPeerScript &s) { s.untaggedBeforeContinuation = {"* 7 EXISTS"}; },
         [](RawClient &c, const ScriptedImapPeer &) {
             c.send(appendLine("a2"));
             EXPECT_TRUE(c.until("+").contains("* 7 EXISTS\r\n+"));
         }},
        {"closed after the literal, stored once",
         [](ImapPeerScript &s) { s.afterLiteral = ImapPeerScript::AfterLiteral::CloseStored; },
         [](RawClient &c, const ScriptedImapPeer &p) {
             c.send(appendLine("a2", "+") + message + "\r\n");
             EXPECT_TRUE(c.closedByPeer());
             EXPECT_EQ(p.messagesIn("Drafts").size(), 1);
             RawClient again(p.port());
             again.send("b1 LOGIN me secret\r\n" + appendLine("b2", "+") + message + "\r\n");
             EXPECT_FALSE(again.until("b2 OK").isEmpty());
             EXPECT_EQ(p.messagesIn("Drafts").size(), 2);
         }},
        {"closed after the literal, then no more connections",
         [](ImapPeerScript &s) {
             s.afterLiteral = ImapPeerScript::AfterLiteral::CloseNotStored;
             s.refuseAfterClose = true;
         },
         [](RawClient &c, const ScriptedImapPeer &p) {
             c.send(appendLine("a2", "+") + message + "\r\n");
             EXPECT_TRUE(c.closedByPeer());
             RawClient again(p.port());
             EXPECT_FALSE(again.until("* BYE").isEmpty());
             EXPECT_TRUE(p.messagesIn("Drafts").isEmpty());
         }},
        {"an early answer instead of the go-ahead",
         [](ImapPeerScript &s) { s.earlyAppendAnswer = "NO [OVERQUOTA] Mailbox is full"; },
         [](RawClient &c, const ScriptedImapPeer &) {
             c.send(appendLine("a2"));
             EXPECT_FALSE(c.until("a2 NO [OVERQUOTA] Mailbox is full").isEmpty());
             EXPECT_TRUE(c.closedByPeer());
         }},
        {"silence after the APPEND line",
         [](ImapPeerScript &s) { s.silence = ImapPeerScript::Silence::AppendLine; },
         [](RawClient &c, const ScriptedImapPeer &) {
             c.send(appendLine("a2"));
             EXPECT_TRUE(c.until("+").isEmpty());
             EXPECT_FALSE(c.closedByPeer());
         }},
        {"a folder name as a literal in STATUS",
         [](ImapPeerScript &s) {
             s.statusNameAsLiteral = true;
             s.statusAppendLimit = 100;
         },
         [](RawClient &c, const ScriptedImapPeer &) {
             c.send("a2 STATUS Drafts (APPENDLIMIT)\r\n");
             EXPECT_TRUE(c.until("a2 OK").contains("* STATUS {6}\r\nDrafts (APPENDLIMIT 100)\r\n"));
         }},
        {"LSUB and SUBSCRIBE refused",
         [](ImapPeerScript &s) { s.lsubFails = s.subscribeFails = true; },
         [](RawClient &c, const ScriptedImapPeer &) {
             c.send("a2 LSUB \"\" \"*\"\r\na3 SUBSCRIBE Drafts\r\n");
             EXPECT_FALSE(c.until("a2 NO").isEmpty());
             EXPECT_FALSE(c.until("a3 NO").isEmpty());
         }},
        {"folders under the INBOX. prefix only",
         [](ImapPeerScript &s) {
             s.separator = '.';
             s.folders = {{"INBOX", ""}, {"INBOX.Sent", ""}};
             s.createPrefix = "INBOX.";
         },
         [](RawClient &c, const ScriptedImapPeer &) {
             c.send("a2 CREATE Drafts\r\na3 CREATE INBOX.Drafts\r\na4 LIST \"\" \"INBOX.%\"\r\n");
             EXPECT_FALSE(c.until("a2 NO").isEmpty());
             EXPECT_FALSE(c.until("a3 OK").isEmpty());
             const QByteArray listed = c.until("a4 OK");
             EXPECT_TRUE(listed.contains("\".\" \"INBOX.Drafts\"")) << listed.data();
             EXPECT_TRUE(listed.contains("\"INBOX.Sent\"")) << listed.data();
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ImapPeerScript script;
        row.script(script);
        ScriptedImapPeer peer(script);
        RawClient client(peer.port());
        client.send("a1 LOGIN me secret\r\n");
        EXPECT_FALSE(client.until("a1 OK").isEmpty());
        row.talk(client, peer);
    }
}

} // namespace
