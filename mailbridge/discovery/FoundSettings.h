#pragma once

#include "mailbridge/MailAccount.h"

#include <QString>

#include <cstdint>
#include <optional>

enum class SignInKind
{
    Password,
    OAuth2
};

// The settings found for an address, as they would go into the account: the IMAP server
// (empty host: none found) and the outgoing (SMTP submission) server (likewise).
struct FoundSettings
{
    QString host;
    int port = 993;
    ImapSecurity security = ImapSecurity::Tls;
    SignInKind signIn = SignInKind::Password;
    QString oauthProvider; // "microsoft" or "google" with OAuth2, else empty
    QString user;          // the address itself: what these servers expect as user name
    QString hint;          // what the person still has to do, e.g. make an app password
    QString smtpHost;
    int smtpPort = 465;
    ImapSecurity smtpSecurity = ImapSecurity::Tls;
    // The largest message in bytes the provider documents, where the list of providers has it.
    std::optional<std::uint64_t> sizeLimit;
    QString providerName; // "Gmail" and the like, for the list's providers
    // What to do instead where the provider signs in with OAuth 2.0 but this program has no
    // client ID for it: how to make an app password.
    QString passwordHint;

    bool operator==(const FoundSettings &) const = default;
};

struct DiscoveryResult
{
    enum class Outcome
    {
        Found,
        NothingFound, // no provider, no records: the settings must be typed
        LookupFailed, // the DNS gave no usable answer (offline?): nothing can be said
        NotAnAddress,
    };

    Outcome outcome = Outcome::NothingFound;
    QString address;
    FoundSettings settings; // with Found only
    QString source;         // with Found: "from the list of known providers" and the like
    QString reason;         // otherwise: why, in words a person can act on
};

// What the window and the command line show: the settings with where they came from, or why
// there are none.
QString describeResult(const DiscoveryResult &result);
QString signInName(const FoundSettings &settings);
// "25 MB" and the like, in the units providers document their limits in.
QString providerSizeText(std::uint64_t bytes);

// The settings as this program can use them: an OAuth 2.0 sign-in only when oauthUsable (the
// program or the settings have a client ID for the provider), else the password with the
// provider's words on making an app password.
FoundSettings usableSettings(FoundSettings found, bool oauthUsable);

// The account with everything found put in, replacing what was there: both servers (a server
// not found is left empty rather than kept from an earlier address), the user, the way of
// signing in. What belongs to another provider's sign-in goes (client ID and secret, custom
// URLs and scope, token command); the client of the same provider stays.
MailAccount withFoundSettings(MailAccount account, const FoundSettings &found);
