#pragma once

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// One token of a response: an atom (NIL included, as sent), a string (quoted or literal,
// unescaped), or a parenthesized list.
struct ImapToken
{
    enum Kind
    {
        Atom,
        String,
        List
    };
    Kind kind = Atom;
    QByteArray text;        // atom or string
    QList<ImapToken> items; // list
    bool literal = false;   // a string sent as "{n}" and its bytes

    bool isNil() const { return kind == Atom && text.compare("NIL", Qt::CaseInsensitive) == 0; }
};

// One whole response: "* ...", "+ ..." or "tag ...", its literals among its tokens.
struct ImapResponse
{
    enum Kind
    {
        Untagged,
        Continuation,
        Tagged
    };
    Kind kind = Untagged;
    QByteArray tag;
    // OK, NO, BAD, BYE or PREAUTH (upper case) for a status response, else empty.
    QByteArray status;
    // The response code, only right after a status ("OVERQUOTA", "CAPABILITY IMAP4rev1 ..."),
    // without its brackets.
    QByteArray code;
    // A status response's (or a continuation's) human text, after the code.
    QByteArray text;
    // Untagged data: every token after "*", e.g. LIST (\Drafts) "/" Drafts, or 7 EXISTS.
    QList<ImapToken> data;

    // The name of the response code, upper case ("OVERQUOTA").
    QByteArray codeName() const;
    // The name of untagged data, upper case: "LIST", "EXISTS" (after its number).
    QByteArray dataName() const;
    // "NO [CODE] text", as a person reads a status response.
    QByteArray statusLine() const;
};

// What the reader found beyond what it takes; the session names the server and drops it.
class ImapReadError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// How much one response may make the client hold.
struct ImapReadLimits
{
    int depth = 16;
    std::size_t lineBytes = 1 << 20;
    std::size_t literalBytes = 1 << 20;
    std::size_t responseBytes = 4 << 20;
};

// Turns the bytes a server sends into responses, as they come: fed any number of bytes at a
// time, it hands on each response once whole. Never recursive; every nesting, line, literal
// and response is bounded by the limits, past which it throws ImapReadError and is spent.
class ImapReader
{
public:
    explicit ImapReader(ImapReadLimits limits = {});

    void feed(const char *data, std::size_t size);
    // The next whole response, when the bytes fed hold one.
    std::optional<ImapResponse> next();
    // Bytes fed and not yet part of a response handed on.
    std::size_t pending() const { return std::size_t(m_buffer.size()) - m_pos; }
    void reset();

private:
    enum class State
    {
        Start,    // before a token
        Atom,     // in an atom
        Quoted,   // in a quoted string
        Escaped,  // after a backslash in a quoted string
        Count,    // in "{n}"
        CountEnd, // after "{n}", before its line end
        Literal,  // in a literal's bytes
        Status,   // after a status word or "+", before its code or text
        Code,     // in a status response's [code]
        Text,     // in human text, to the line end
        LineEnd,  // after CR
    };

    void endToken();
    bool endLine(); // true when it ended the response
    void add(char c, QByteArray &to);
    [[noreturn]] void malformed(const std::string &what);

    ImapReadLimits m_limits;
    QByteArray m_buffer;
    qsizetype m_pos = 0;

    State m_state = State::Start;
    ImapResponse m_response;
    std::vector<QList<ImapToken>> m_lists; // the open lists, innermost last; [0] the top
    ImapToken m_token;
    int m_words = 0; // tokens at the top so far: the tag first
    bool m_codeSeen = false;
    bool m_done = false;
    std::size_t m_lineBytes = 0;
    std::size_t m_responseBytes = 0;
    std::size_t m_literalLeft = 0;
    std::size_t m_count = 0;
    bool m_countDigits = false;
    bool m_countSigned = false; // "{n+}" or "{n-}"
};

// Reads one response from its text (lines joined by CRLF, literals as sent); for tests and
// for what libcurl read while connecting. Nothing when the text is not one whole response.
std::optional<ImapResponse> parseImapResponse(const QByteArray &text);
