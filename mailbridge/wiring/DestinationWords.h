#pragma once

#include <QString>

class SettingsStore;

// Where a Send's messages will go, in the words of the main window's line: "Sends through
// smtp.example.org as me", "Into the Drafts of me at imap.example.org", "Into the outbox
// folder ~/…". Before anything is set up it says so, and how to change it; settings it cannot
// read, why.
QString destinationText(const SettingsStore &settings);

// The largest message the account's provider documents, for beside the size field ("Gmail:
// at most 25 MB a message"); empty when the list of providers has none for it.
QString providerLimitText(const SettingsStore &settings);

// What Send does with the messages where they go now, as the About window's instructions end:
// filed into a folder to review, or sent on at once, and where.
QString sendEffectText(const SettingsStore &settings);
