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

// The path with the home folder shown as "~".
QString withHomeAsTilde(const QString &path);
