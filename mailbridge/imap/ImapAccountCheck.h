#pragma once

#include "mailbridge/imap/ImapEndpoint.h"

#include <QString>

#include <cstdint>
#include <optional>

class CancelToken;

// What the server said when the mail account's Test button tried it.
struct ImapAccountCheck
{
    QString greeting;
    QString capabilities;
    QString folder;       // where drafts will go, as a person reads it
    QString folderChoice; // why that one
    std::optional<std::uint64_t> appendLimit;

    // Lines for the dialog: server greeting, folder, limit, capabilities.
    QString summary() const;
};

// Connects, logs in and finds (and subscribes) the drafts folder, as a Send would, without
// filing anything. Throws Failure saying what to change when any step fails.
ImapAccountCheck checkImapAccount(const ImapEndpoint &endpoint, const QString &password,
                                  const CancelToken &cancel);
