#pragma once

#include "mailbridge/MailAccount.h"

#include <QString>

enum class SignInKind
{
    Password,
    OAuth2
};

// The IMAP settings found for an address, as they would go into the account.
struct FoundSettings
{
    QString host;
    int port = 993;
    ImapSecurity security = ImapSecurity::Tls;
    SignInKind signIn = SignInKind::Password;
    QString oauthProvider; // "microsoft" or "google" with OAuth2, else empty
    QString user;          // the address itself: what these servers expect as user name
    QString hint;          // what the person still has to do, e.g. make an app password

    bool operator==(const FoundSettings &) const = default;
};

struct DiscoveryResult
{
    enum class Outcome
    {
        Found,
        NothingFound, // no provider, no records: the settings must be typed
        LookupFailed, // the DNS gave no usable answer: nothing can be said
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

// The account with the found server and way of signing in put in. A user name already there
// stays: it may differ from the address on purpose. The other sign-in settings stay too.
MailAccount withFoundSettings(MailAccount account, const FoundSettings &found);
