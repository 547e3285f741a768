#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

// Reading the server's responses as the protocol defines them. A response is one line, or
// several when it carries literals; the session hands each on whole, every literal "{n}"
// and its n bytes already turned into a quoted string, so that a literal is a token like
// any other.

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

    bool isNil() const { return kind == Atom && text.compare("NIL", Qt::CaseInsensitive) == 0; }
};

QList<ImapToken> imapTokens(const QByteArray &text);

// The parts of a response line: "* ...", "+ ..." or "tag ...".
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
    // After the status and code: the human text. For data ("* LIST ..."), all after "* ".
    QByteArray rest;

    // The name of the response code, upper case ("OVERQUOTA").
    QByteArray codeName() const;
};

ImapResponse parseImapResponse(const QByteArray &response);

// A response with its literals folded in as quoted strings (see above).
QByteArray quotedForResponse(const QByteArray &literal);

// The capabilities the responses announce last ("* CAPABILITY ..." or a CAPABILITY response
// code), upper case; empty when none does.
QList<QByteArray> capabilitiesIn(const QList<QByteArray> &responses);

// The value of "APPENDLIMIT=n" among the capabilities.
std::optional<std::uint64_t> appendLimitIn(const QList<QByteArray> &capabilities);

struct ListedMailbox
{
    QList<QByteArray> attributes; // as sent, e.g. "\Drafts"
    QByteArray delimiter;         // empty for NIL
    QByteArray name;              // encoded, unquoted
};
// Every "* LIST" (or LSUB) response among the responses.
QList<ListedMailbox> listedMailboxes(const QList<QByteArray> &responses, const QByteArray &kind);

// The text of the last tagged NO or BAD ("NO [AUTHENTICATIONFAILED] ..."), without the tag:
// the refusal, even when a LOGOUT was answered after it.
QByteArray lastRefusal(const QList<QByteArray> &responses);

// The value of item in "* STATUS name (item n ...)"; nothing for NIL or absent.
std::optional<std::uint64_t> statusItem(const QList<QByteArray> &responses, const QByteArray &item);

// The first personal namespace of "* NAMESPACE": its prefix ("INBOX.") and delimiter.
struct ImapNamespace
{
    QByteArray prefix;
    QByteArray delimiter;
};
std::optional<ImapNamespace> personalNamespace(const QList<QByteArray> &responses);

// The numbers of "* SEARCH n n ...".
QList<std::uint64_t> searchResults(const QList<QByteArray> &responses);
