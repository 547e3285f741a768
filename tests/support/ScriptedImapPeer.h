#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// How a scripted peer behaves; the defaults make a plain, well-behaved server.
struct ImapPeerScript
{
    struct Folder
    {
        QByteArray name;
        QByteArray attributes; // e.g. "\\Drafts"; \HasNoChildren is added
    };

    // Where the peer stops answering and only listens until the client goes.
    enum class Silence
    {
        None,
        Greeting,
        Login,
        AppendLine,
        Search, // UID SEARCH, as asked after an answer was lost
    };

    // What follows the whole literal of an APPEND the first appendFailures times.
    enum class AfterLiteral
    {
        Answer,
        CloseStored,    // stores the message, then closes without a word
        CloseNotStored, // closes without a word, keeping nothing
        Flood,          // floodLine for ever, keeping nothing
        Silent,         // nothing, keeping nothing
    };

    // Announced after IMAP4rev1, in CAPABILITY answers.
    QList<QByteArray> capabilities = {"LITERAL+", "SPECIAL-USE", "NAMESPACE"};
    std::vector<Folder> folders = {{"INBOX", ""}, {"Drafts", "\\Drafts"}};
    char separator = '/';
    // The NAMESPACE answer after "* NAMESPACE ".
    QByteArray namespaces = R"((("" "/")) NIL NIL)";
    // CREATE of a name outside this prefix is refused, as servers with one namespace do.
    QByteArray createPrefix;
    // CREATE ... (USE (\Drafts)) is refused though CREATE-SPECIAL-USE is offered.
    bool refuseSpecialUse = false;

    // Sent before the go-ahead "+" of a synchronizing literal, e.g. "* 7 EXISTS".
    QList<QByteArray> untaggedBeforeContinuation;
    Silence silence = Silence::None;
    AfterLiteral afterLiteral = AfterLiteral::Answer;
    int appendFailures = 1;
    // Once a connection was closed after a literal, later connections get BYE at once.
    bool refuseAfterClose = false;
    // Instead of "+": "<tag> " and this line for the APPEND, then the connection closes.
    QByteArray earlyAppendAnswer;
    // Instead of OK after a whole literal: "<tag> " and this line, e.g. "NO the quota ...".
    QByteArray appendAnswer;
    // STATUS names the folder as a literal, as "{6}\r\nDrafts".
    bool statusNameAsLiteral = false;
    // The APPENDLIMIT a STATUS reports; none: NIL.
    std::optional<std::uint64_t> statusAppendLimit;
    bool lsubFails = false;
    bool subscribeFails = false;
    // A command (LIST, NAMESPACE, SELECT...) answered by this many bytes without a line end.
    QByteArray endlessAnswerTo;
    std::uint64_t endlessBytes = 64 * 1024 * 1024;
    // Before its answer to this command (e.g. "LIST"), floodLines copies of floodLine.
    QByteArray floodTo;
    QByteArray floodLine = "* 1 EXISTS";
    std::uint64_t floodLines = 0;
    // Between flood lines: a server that trickles rather than floods.
    std::chrono::milliseconds floodPause{0};

    // Sent as they are, then OK, in answer to a command of this verb ("UID FETCH"): for
    // answers the peer does not make up itself. An empty answer leaves the verb to the peer.
    std::map<QByteArray, QByteArray> scriptedAnswers;

    // AUTHENTICATE (offered when the capabilities name AUTH=XOAUTH2): refused this many
    // times first, each refusal followed by closing the connection when set.
    int tokenRefusals = 0;
    bool closeAfterTokenRefusal = false;
    // Asks "+" for more for ever instead of answering.
    bool endlessContinuations = false;
};

// A small plain-text IMAP server on a free port of 127.0.0.1, run on a thread of its own,
// that follows an ImapPeerScript. Stored messages and every byte the client sent outlive
// each connection, so a reconnect sees what an earlier connection filed. Safe to query from
// the test's thread while a client talks to it.
class ScriptedImapPeer
{
public:
    struct Append
    {
        QByteArray folder;
        std::uint64_t size = 0;
        bool synchronizing = true; // {n}, else {n+}
    };

    explicit ScriptedImapPeer(ImapPeerScript script = {});
    ~ScriptedImapPeer();
    ScriptedImapPeer(const ScriptedImapPeer &) = delete;
    ScriptedImapPeer &operator=(const ScriptedImapPeer &) = delete;

    int port() const { return m_port; }

    int connections() const;
    // How many connections went silent as the script says (and only listen from then on).
    int silentConnections() const;
    // Everything each connection received, in order.
    QList<QByteArray> received() const;
    // "<verb> <arguments>" of each command, literals inlined; the APPEND message left out.
    QList<QByteArray> commands() const;
    // Each APPEND line the peer read, answered or not.
    std::vector<Append> appends() const;
    QList<QByteArray> messagesIn(const QByteArray &folder) const;
    QList<QByteArray> folderNames() const;
    // The attributes a folder was listed or created with; empty for none or no folder.
    QByteArray attributesOf(const QByteArray &folder) const;

    // Where the client sent an LF without CR before it, described with its surroundings;
    // empty when it never did.
    QByteArray bareLineFeed() const;

private:
    class Connection;
    friend class Connection;

    struct Stored
    {
        QByteArray attributes;
        QList<QByteArray> messages;
        bool subscribed = false;
    };

    void acceptLoop();

    ImapPeerScript m_script;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
    std::vector<std::thread> m_workers; // of the acceptor thread only

    mutable std::mutex m_mutex; // guards everything below
    std::map<QByteArray, Stored> m_folders;
    QList<QByteArray> m_received;
    QList<QByteArray> m_commands;
    std::vector<Append> m_appends;
    int m_connections = 0;
    int m_silentConnections = 0;
    int m_literalFailures = 0;
    int m_tokenRefusals = 0;
    bool m_refusing = false;
};
