#pragma once

#include "mailbridge/MailApplication.h"

#include <QString>

#include <memory>
#include <optional>

class SettingsStore;

// The outbox that section [MailClient] of the settings names: the Maildir folder, or the
// IMAP account's drafts folder, which gets imapPassword (see resolvePassword). Throws Failure
// for settings it cannot use or a Maildir folder it cannot make.
std::unique_ptr<MailApplication> createOutbox(const SettingsStore &store,
                                              std::optional<QString> imapPassword = std::nullopt);

// The same outbox, only to size messages with (MailApplication::storedSize): it creates no
// folder and asks for no password. Throws Failure for settings it cannot use.
std::unique_ptr<MailApplication> createSizingOutbox(const SettingsStore &store);

// The path with the home folder shown as "~".
QString withHomeAsTilde(const QString &path);
