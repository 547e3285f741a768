#pragma once

#include "mailbridge/discovery/FoundSettings.h"

// What Find settings proposes, in the Mail account window and from `ferrymail account find`
// alike: what was found, with an OAuth 2.0 sign-in only where this build or the account has
// a client ID for the provider, else the password with the provider's words on making an
// app password. account: the settings the proposal would change.
DiscoveryResult proposedSettings(DiscoveryResult found, const MailAccount &account);
