#pragma once

#include "mailbridge/imap/ImapReader.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

// What the session needs from the responses the reader handed on.

// The capabilities the responses announce last ("* CAPABILITY ..." or a CAPABILITY response
// code), upper case; empty when none does.
QList<QByteArray> capabilitiesIn(const QList<ImapResponse> &responses);

// The value of "APPENDLIMIT=n" among the capabilities.
std::optional<std::uint64_t> appendLimitIn(const QList<QByteArray> &capabilities);

struct ListedMailbox
{
    QList<QByteArray> attributes; // as sent, e.g. "\Drafts"
    QByteArray delimiter;         // empty for NIL
    QByteArray name;              // encoded, unquoted
};
// Every "* LIST" (or LSUB) response among the responses.
QList<ListedMailbox> listedMailboxes(const QList<ImapResponse> &responses, const QByteArray &kind);

// "NO [AUTHENTICATIONFAILED] ..." of the last tagged NO or BAD: the refusal, even when a
// LOGOUT was answered after it.
QByteArray lastRefusal(const QList<ImapResponse> &responses);

// The value of item in "* STATUS name (item n ...)"; nothing for NIL or absent.
std::optional<std::uint64_t> statusItem(const QList<ImapResponse> &responses,
                                        const QByteArray &item);

// The first personal namespace of "* NAMESPACE": its prefix ("INBOX.") and delimiter.
struct ImapNamespace
{
    QByteArray prefix;
    QByteArray delimiter;
};
std::optional<ImapNamespace> personalNamespace(const QList<ImapResponse> &responses);

// The number of a response code such as "[UIDVALIDITY 3857529045]" among the responses.
std::optional<std::uint64_t> codeNumber(const QList<ImapResponse> &responses,
                                        const QByteArray &code);

// The flags of "[PERMANENTFLAGS (\Seen \Draft \*)]", as sent; nothing when none came.
std::optional<QList<QByteArray>> permanentFlags(const QList<ImapResponse> &responses);

// The numbers of "* SEARCH n n ...".
QList<std::uint64_t> searchResults(const QList<ImapResponse> &responses);

// Each line read as one response; lines that are none are left out. For the lines libcurl
// read while connecting, and for tests.
QList<ImapResponse> parsedResponses(const QList<QByteArray> &lines);
