#include "app/LocalServices.h"

#include "app/DesktopNotification.h"
#include "app/ReviewedSendParts.h"

#include "filelist/LocalFileSystem.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/password/KeychainPasswordStore.h"
#include "mailbridge/wiring/OutboxFactory.h"

#include <QDesktopServices>
#include <QStandardPaths>
#include <QUrl>

namespace {

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
                // No password yet: the Send's worker asks the keyring and PasswordCommand, so
                // the window opens at once whatever they do.
                return createOutbox(store, std::nullopt, std::make_shared<KeychainPasswordStore>(),
                                    FirstToken::AtLogin);
            },
            []() -> std::unique_ptr<PasswordStore> {
                return std::make_unique<KeychainPasswordStore>();
            },
            askPasswordInDialog,
            [](const QString &title, const QString &text) { postDesktopNotification(title, text); },
            openFolderFactory(),
            createReviewedSendParts};
}
