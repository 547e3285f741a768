#include "app/ReviewedSendParts.h"

#include "common/Failure.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/password/PasswordResolution.h"
#include "mailbridge/password/PasswordStore.h"
#include "settings/SettingsStore.h"

#include <QMap>

namespace {

const QString section = QStringLiteral("MailClient");

// The keys readMailAccount reads.
const char *const accountKeys[] = {
    "Kind",           "Outbox",         "ImapHost",           "ImapPort",
    "ImapSecurity",   "ImapUser",       "ImapFolder",         "PasswordCommand",
    "ImapAuth",       "SmtpHost",       "SmtpPort",           "SmtpSecurity",
    "SmtpUser",       "SmtpAuth",       "SaveSentCopy",       "SendmailCommand",
    "OAuth2Provider", "OAuth2ClientId", "OAuth2ClientSecret", "OAuth2AuthorizeUrl",
    "OAuth2TokenUrl", "OAuth2Scope",    "TokenCommand",
};

class SectionSnapshot final : public SettingsStore
{
public:
    explicit SectionSnapshot(const SettingsStore &store)
    {
        // An absent key keeps the reader's default, as it would in the store itself.
        const QString absent = QStringLiteral("\x01");
        for (const char *name : accountKeys) {
            const QString key = QString::fromLatin1(name);
            const QString value = store.read(section, key, absent);
            if (value == absent)
                continue;
            m_values.insert(key, value);
            m_verbatim.insert(key, store.readVerbatim(section, key));
        }
    }
    QString read(const QString &from, const QString &key,
                 const QString &defaultValue) const override
    {
        return from == section ? m_values.value(key, defaultValue) : defaultValue;
    }
    QString readVerbatim(const QString &from, const QString &key) const override
    {
        return from == section ? m_verbatim.value(key) : QString();
    }
    void write(const QString &, const QString &, const QString &) override
    {
        throw Failure(QStringLiteral("A copy of the settings is not written."));
    }

private:
    QMap<QString, QString> m_values;
    QMap<QString, QString> m_verbatim;
};

} // namespace

std::shared_ptr<const SettingsStore> mailAccountSnapshot(const SettingsStore &store)
{
    return std::make_shared<SectionSnapshot>(store);
}

bool reviewedSendNeedsPassword(const MailAccount &account)
{
    return account.imapAuth == ImapAuth::Password ||
           (account.smtpAuth == ImapAuth::Password && !smtpLoginUser(account).isEmpty());
}

QString reviewedSendPasswordFor(const MailAccount &account)
{
    const QString who = account.imapUser.isEmpty() ? account.imapHost : account.imapUser;
    return account.imapFolder.isEmpty()
               ? QStringLiteral("the Drafts folder of %1").arg(who)
               : QStringLiteral("the folder \"%1\" of %2").arg(account.imapFolder, who);
}

ReviewedSendAccount createReviewedSendParts(const SettingsStore &store,
                                            const std::optional<QString> &typedPassword,
                                            const std::shared_ptr<PasswordStore> &keyring,
                                            const std::function<bool()> &cancelled)
{
    std::optional<QString> password = typedPassword;
    const MailAccount account = readMailAccount(store);
    if (!password && reviewedSendNeedsPassword(account)) {
        password = resolvePassword(account, *keyring, cancelled);
        if (!password)
            throw PasswordWanted(reviewedSendPasswordFor(account));
    }
    return createReviewedSend(store, password, keyring, FirstToken::AtLogin, cancelled);
}
