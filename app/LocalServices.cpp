#include "app/LocalServices.h"

#include "app/DesktopNotification.h"

#include "common/Failure.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/OutboxFactory.h"
#include "mailbridge/password/KeychainPasswordStore.h"
#include "mailbridge/password/PasswordResolution.h"

#include <QDesktopServices>
#include <QStandardPaths>
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

// Offered only where the desktop has a way to open a folder.
std::function<bool(const QString &)> openFolderFactory()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty())
        return {};
    return [](const QString &folder) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    };
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
            openFolderFactory()};
}
