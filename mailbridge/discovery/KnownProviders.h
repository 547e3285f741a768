#pragma once

#include "mailbridge/discovery/FoundSettings.h"

#include <QString>

#include <optional>

// The settings of a large provider whose domains are known, for a domain as mailDomain()
// gives it; nullopt for any other domain. The user is left empty.
std::optional<FoundSettings> knownProvider(const QString &domain);

// One domain of each provider in the list, in its order: the addresses every caller of the
// list must answer alike.
QStringList knownProviderDomains();

// Whether the provider whose submission server smtpHost is ("smtp.gmail.com") puts each
// message sent through it into the sender's Sent folder by itself.
bool submissionFilesSentMail(const QString &smtpHost);

// The list's provider an account belongs to, by its servers' names, else by the domain of
// its user; nullopt when none.
std::optional<FoundSettings> knownProviderOf(const MailAccount &account);
