#include "app/LocalServices.h"

#include "app/DesktopNotification.h"

#include "common/Failure.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/wiring/OutboxFactory.h"
#include "mailbridge/password/KeychainPasswordStore.h"
#include "mailbridge/password/PasswordResolution.h"

#include <QDesktopServices>
#include <QUrl>

namespace {

// Without a password the outbox still opens; its first Send says what is missing.
std::optional<QString> knownPassword(const MailAccount &account)
{
    if (account.kind != MailAccountKind::Imap || account.imapAuth == ImapAuth::OAuth2)
        return std::nullopt;
    try {
        KeychainPasswordStore keyring;
        return resolvePassword(account, keyring);
    } catch (const Failure &) {
        return std::nullopt;
    }
}

} // namespace

frmMain::ServiceFactories localServices()
{
    return {[]() -> std::unique_ptr<FileSystem> { return std::make_unique<LocalFileSystem>(); },
            [](const SettingsStore &store) -> std::unique_ptr<Outbox> {
                return createOutbox(store, knownPassword(readMailAccount(store)),
                                    std::make_shared<KeychainPasswordStore>(), FirstToken::AtLogin);
            },
            []() -> std::unique_ptr<PasswordStore> {
                return std::make_unique<KeychainPasswordStore>();
            },
            askPasswordInDialog,
            [](const QString &title, const QString &text) { postDesktopNotification(title, text); },
            [](const QString &folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }};
}
