#include "mailbridge/wiring/SettingsProposal.h"

#include "common/Failure.h"
#include "mailbridge/oauth/OAuthProvider.h"

DiscoveryResult proposedSettings(DiscoveryResult found, const MailAccount &account)
{
    if (found.outcome != DiscoveryResult::Outcome::Found)
        return found;
    bool oauthUsable = true;
    try {
        // The sign-in as it would be made: the provider's client ID, built in or the account's.
        oauthEndpoints(withFoundSettings(account, found.settings));
    } catch (const Failure &) {
        oauthUsable = false;
    }
    found.settings = usableSettings(found.settings, oauthUsable);
    return found;
}
