#include "app/DestinationLine.h"

#include "common/Failure.h"
#include "common/HomePath.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/discovery/FoundSettings.h"
#include "mailbridge/discovery/KnownProviders.h"
#include "mailbridge/maildir/DefaultOutboxFolder.h"
#include "mailbridge/sendmail/SendmailOutbox.h"
#include "settings/SettingsStore.h"

#include <QLabel>
#include <QToolButton>

namespace {

QString accountText(const MailAccount &account)
{
    switch (account.kind) {
    case MailAccountKind::Maildir:
        break;
    case MailAccountKind::Imap: {
        const QString who = account.imapUser.isEmpty() ? account.imapHost : account.imapUser;
        return account.imapFolder.isEmpty()
                   ? QStringLiteral("Into the Drafts of %1").arg(who)
                   : QStringLiteral("Into the folder \"%1\" of %2").arg(account.imapFolder, who);
    }
    case MailAccountKind::Smtp: {
        const QString user = smtpLoginUser(account);
        return QStringLiteral("Sends through %1").arg(user.isEmpty() ? account.smtpHost : user);
    }
    case MailAccountKind::Sendmail:
        return account.sendmailCommand.isEmpty() ||
                       account.sendmailCommand == SendmailOutbox::defaultCommand()
                   ? QStringLiteral("Through this computer's sendmail")
                   : QStringLiteral("Through this computer's sendmail (%1)")
                         .arg(account.sendmailCommand);
    }
    return QString();
}

} // namespace

QString destinationText(const SettingsStore &settings)
{
    try {
        const MailAccount account = readMailAccount(settings);
        if (account.kind == MailAccountKind::Maildir) {
            const QString folder = withHomeAsTilde(defaultOutboxFolder(settings));
            if (settings.read(QStringLiteral("MailClient"), QStringLiteral("Kind")).isEmpty())
                return QStringLiteral("Messages go into the outbox folder %1 until you choose "
                                      "where they go: click Mail account…")
                    .arg(folder);
            return QStringLiteral("Into the outbox folder %1").arg(folder);
        }
        return accountText(account);
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

DestinationLine::DestinationLine(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("lineDestination"));
    lblDestination = new QLabel(this);
    lblDestination->setObjectName(QStringLiteral("lblDestination"));
    lblDestination->setTextFormat(Qt::PlainText);
    lblDestination->setWordWrap(true);
    lblDestination->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    cmdMailAccount = new QToolButton(this);
    cmdMailAccount->setObjectName(QStringLiteral("cmdMailAccount"));
    cmdMailAccount->setText(QStringLiteral("Mail account…"));
    cmdMailAccount->setToolTip(QStringLiteral("Where messages go (Ctrl+,)"));
    cmdMailAccount->setFocusPolicy(Qt::StrongFocus);
    connect(cmdMailAccount, &QToolButton::clicked, this, &DestinationLine::clicked);
    cmdSendDrafts = new QToolButton(this);
    cmdSendDrafts->setObjectName(QStringLiteral("cmdSendDrafts"));
    cmdSendDrafts->setText(QStringLiteral("Send the reviewed drafts"));
    cmdSendDrafts->setToolTip(
        QStringLiteral("Sends the drafts of Ferrymail's Sends as they are now in the Drafts "
                       "folder, after you have looked them over in your mail program"));
    cmdSendDrafts->setFocusPolicy(Qt::StrongFocus);
    cmdSendDrafts->hide();
    connect(cmdSendDrafts, &QToolButton::clicked, this, &DestinationLine::sendDraftsClicked);
}

void DestinationLine::setSendDraftsOffered(bool offered)
{
    if (cmdSendDrafts->isVisibleTo(this) == offered)
        return;
    cmdSendDrafts->setVisible(offered);
    placeControls();
}

int DestinationLine::buttonsWidth() const
{
    int width = cmdMailAccount->sizeHint().width();
    if (cmdSendDrafts->isVisibleTo(this))
        width += cmdSendDrafts->sizeHint().width() + spacing;
    return width;
}

void DestinationLine::setText(const QString &text)
{
    lblDestination->setText(text);
    lblDestination->setToolTip(text);
}

QString DestinationLine::text() const
{
    return lblDestination->text();
}

int DestinationLine::heightForWidth(int width) const
{
    return std::max(cmdMailAccount->sizeHint().height(),
                    lblDestination->heightForWidth(width - buttonsWidth() - spacing));
}

void DestinationLine::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void DestinationLine::placeControls()
{
    // The buttons at the right, at their own size; the text wraps in what is left.
    int right = width();
    for (QToolButton *button : {cmdMailAccount, cmdSendDrafts}) {
        if (!button->isVisibleTo(this))
            continue;
        const QSize size = button->sizeHint();
        right -= size.width();
        button->setGeometry(right, (height() - size.height()) / 2, size.width(), size.height());
        right -= spacing;
    }
    lblDestination->setGeometry(0, 0, width() - buttonsWidth() - spacing, height());
}
