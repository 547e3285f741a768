#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

// Reading the server's response lines, as the session collects them.

// The capabilities the lines announce last ("* CAPABILITY ..." or "[CAPABILITY ...]"),
// upper case; empty when none does.
QList<QByteArray> capabilitiesIn(const QList<QByteArray> &lines);

// The value of "APPENDLIMIT=n" among the capabilities.
std::optional<std::uint64_t> appendLimitIn(const QList<QByteArray> &capabilities);

struct ListedMailbox
{
    QList<QByteArray> attributes; // as sent, e.g. "\Drafts"
    QByteArray name;              // encoded, unquoted
};
// Every "* LIST" (or LSUB) response among the lines; a name sent as a literal is in the line
// after its "{n}".
QList<ListedMailbox> listedMailboxes(const QList<QByteArray> &lines, const QByteArray &kind);

// The text of the last tagged NO or BAD ("NO [AUTHENTICATIONFAILED] ..."), without the tag:
// the refusal, even when a LOGOUT was answered after it.
QByteArray lastRefusal(const QList<QByteArray> &lines);

// The value of item in "* STATUS name (item n ...)"; nothing for NIL or absent.
std::optional<std::uint64_t> statusItem(const QList<QByteArray> &lines, const QByteArray &item);
