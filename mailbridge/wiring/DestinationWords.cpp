#include "mailbridge/wiring/DestinationWords.h"

#include "common/Failure.h"
#include "common/HomePath.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/discovery/FoundSettings.h"
#include "mailbridge/discovery/KnownProviders.h"
#include "mailbridge/maildir/DefaultOutboxFolder.h"
#include "mailbridge/sendmail/SendmailOutbox.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"
#include "settings/SettingsStore.h"

namespace {

bool kindChosen(const SettingsStore &settings)
{
    return !settings.read(QStringLiteral("MailClient"), QStringLiteral("Kind")).isEmpty();
}

// "me at imap.example.org": the account and the server it is on, or whichever is known.
QString whoWhere(const QString &user, const QString &host)
{
    if (user.isEmpty())
        return host;
    if (host.isEmpty())
        return user;
    return QStringLiteral("%1 at %2").arg(user, host);
}

// "smtp.example.org as me": the submission server, and whom it logs in as.
QString serverAs(const MailAccount &account)
{
    const QString user = smtpLoginUser(account);
    return user.isEmpty() ? account.smtpHost
                          : QStringLiteral("%1 as %2").arg(account.smtpHost, user);
}

QString sendmailText(const MailAccount &account)
{
    return account.sendmailCommand.isEmpty() ||
                   account.sendmailCommand == SendmailOutbox::defaultCommand()
               ? QStringLiteral("this computer's sendmail")
               : QStringLiteral("this computer's sendmail (%1)").arg(account.sendmailCommand);
}

} // namespace

QString destinationText(const SettingsStore &settings)
{
    try {
        const MailAccount account = readMailAccount(settings);
        switch (account.kind) {
        case MailAccountKind::Maildir: {
            const QString folder = withHomeAsTilde(defaultOutboxFolder(settings));
            if (!kindChosen(settings))
                return QStringLiteral("Messages go into the outbox folder %1 until you choose "
                                      "where they go: click Mail account…")
                    .arg(folder);
            return QStringLiteral("Into the outbox folder %1").arg(folder);
        }
        case MailAccountKind::Imap: {
            const QString who = whoWhere(account.imapUser, account.imapHost);
            return account.imapFolder.isEmpty() ? QStringLiteral("Into the Drafts of %1").arg(who)
                                                : QStringLiteral("Into the folder \"%1\" of %2")
                                                      .arg(account.imapFolder, who);
        }
        case MailAccountKind::Smtp:
            return QStringLiteral("Sends through %1").arg(serverAs(account));
        case MailAccountKind::Sendmail:
            return QStringLiteral("Through %1").arg(sendmailText(account));
        }
        return QString();
    } catch (const Failure &failure) {
        return QStringLiteral("Where messages go cannot be read: %1").arg(failure.description());
    }
}

QString providerLimitText(const SettingsStore &settings)
{
    try {
        const MailAccount account = readMailAccount(settings);
        if (account.kind != MailAccountKind::Imap && account.kind != MailAccountKind::Smtp)
            return QString();
        const auto provider = knownProviderOf(account);
        if (!provider || !provider->sizeLimit)
            return QString();
        return QStringLiteral("%1: at most %2 a message")
            .arg(provider->providerName, providerSizeText(*provider->sizeLimit));
    } catch (const Failure &) {
        return QString(); // the destination line says why
    }
}

QString sendEffectText(const SettingsStore &settings)
{
    const QString choose = QStringLiteral("Choose where messages go in the Mail account window: "
                                          "press Ctrl+, or right-click Send.");
    MailAccount account;
    try {
        account = readMailAccount(settings);
    } catch (const Failure &failure) {
        return QStringLiteral("Where messages go cannot be read (%1). %2")
            .arg(failure.description(), choose);
    }
    switch (account.kind) {
    case MailAccountKind::Maildir: {
        const QString folder = withHomeAsTilde(defaultOutboxFolder(settings));
        if (!kindChosen(settings))
            return QStringLiteral("No mail account is set up yet: Send asks whether to put the "
                                  "messages into the outbox folder %1 or to set up your account "
                                  "first. %2")
                .arg(folder, choose);
        return QStringLiteral("Each message is filed whole into the outbox folder %1, which a "
                              "mail program that reads Maildir opens: review the messages there "
                              "and send them on from it. %2")
            .arg(folder, choose);
    }
    case MailAccountKind::Imap: {
        QString text = QStringLiteral("Each message is filed as a draft into the Drafts folder of "
                                      "%1: review the drafts in your mail program and send them "
                                      "from there")
                           .arg(whoWhere(account.imapUser, account.imapHost));
        text += offersReviewedSend(account)
                    ? QStringLiteral(", or press \"Send the reviewed drafts\" to send what is "
                                     "left of them through %1.")
                          .arg(account.smtpHost)
                    : QStringLiteral(".");
        return text + QLatin1Char(' ') + choose;
    }
    case MailAccountKind::Smtp:
        return QStringLiteral("Each message goes out at once to the recipients in Send to, "
                              "through %1%2. %3")
            .arg(serverAs(account),
                 hasImapSettings(account) && account.saveSentCopy != SaveSentCopy::No
                     ? QStringLiteral(", with a copy in your Sent folder where the server keeps "
                                      "none itself")
                     : QString(),
                 choose);
    case MailAccountKind::Sendmail:
        return QStringLiteral("Each message is handed to %1, which sends it on to the "
                              "recipients in Send to. %2")
            .arg(sendmailText(account), choose);
    }
    return choose;
}
