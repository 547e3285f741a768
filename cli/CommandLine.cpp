#include "cli/CommandLine.h"

#include "cli/AccountFind.h"
#include "cli/Interruption.h"
#include "cli/SendCommand.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/OutboxFactory.h"
#include "mailbridge/discovery/SettingsFinder.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "mailbridge/password/KeychainPasswordStore.h"
#include "mailbridge/password/PasswordResolution.h"
#include "settings/QtSettingsStore.h"

#include <QCoreApplication>

#include <cstring>
#include <unistd.h>

bool wantsCommandLine(int argc, char **argv)
{
    if (argc < 2)
        return false;
    return std::strcmp(argv[1], "send") == 0 || std::strcmp(argv[1], "account") == 0 ||
           std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "--version") == 0;
}

int runCommandLine(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ferrymail"));
    QCoreApplication::setOrganizationName(QStringLiteral("Ferrymail"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QList<QByteArray> arguments;
    for (int i = 2; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    if (std::strcmp(argv[1], "account") == 0)
        return runAccountCommand(
            arguments, [](const QString &address) { return findSettingsWaiting(address); }, out,
            err);
    ParsedArguments parsed;
    if (std::strcmp(argv[1], "--help") == 0)
        parsed.action = ParsedArguments::Action::Help;
    else if (std::strcmp(argv[1], "--version") == 0)
        parsed.action = ParsedArguments::Action::Version;
    else
        parsed = parseSendArguments(arguments);

    switch (parsed.action) {
    case ParsedArguments::Action::Help:
        out << sendUsageText();
        return ExitCode::sent;
    case ParsedArguments::Action::Version:
        out << versionText();
        return ExitCode::sent;
    case ParsedArguments::Action::UsageError:
        err << parsed.error << "\nTry 'ferrymail send --help'.\n";
        return ExitCode::refused;
    case ParsedArguments::Action::Send:
        break;
    }

    QtSettingsStore settings;
    LocalFileSystem files;
    Interruption interruption;
    const OutboxMaker makeOutbox =
        [&settings, &interruption](const SendOptions &options) -> std::unique_ptr<MailApplication> {
        if (!options.outbox.isEmpty())
            return std::make_unique<MaildirOutbox>(options.outbox);
        // Nobody to ask here: the keyring or PasswordCommand has the password, or the Send
        // fails saying it is missing.
        const MailAccount account = readMailAccount(settings);
        std::optional<QString> password;
        if (account.kind == MailAccountKind::Imap && account.imapAuth == ImapAuth::Password) {
            KeychainPasswordStore keyring;
            password = resolvePassword(account, keyring,
                                       [&interruption] { return interruption.cancel.cancelled(); });
        }
        // An OAuth account uses the kept sign-in or TokenCommand: never a browser from here.
        return createOutbox(settings, password, std::make_shared<KeychainPasswordStore>());
    };
    const InterruptHandlers handlers(interruption);
    const int code = runSendCommand(parsed.options, settings, files, makeOutbox, interruption,
                                    {out, err, ::isatty(STDERR_FILENO) ? stderr : nullptr});
    out.flush();
    err.flush();
    return code;
}
