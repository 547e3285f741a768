#include "cli/CommandLine.h"

#include "cli/AccountFind.h"
#include "cli/Interruption.h"
#include "cli/ResumeStateFile.h"
#include "cli/SendCommand.h"
#include "cli/SendDraftsCommand.h"
#include "cli/StandardStreams.h"
#include "common/Failure.h"
#include "common/HomePath.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/MailAccount.h"
#include "mailbridge/discovery/SettingsFinder.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "mailbridge/password/KeychainPasswordStore.h"
#include "mailbridge/password/PasswordResolution.h"
#include "mailbridge/wiring/OutboxFactory.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"
#include "mailbridge/wiring/SettingsProposal.h"
#include "settings/QtSettingsStore.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

// What the first word asks for; anything else is a usage error.
enum class Command
{
    Send,
    SendDrafts,
    Account,
    Help,
    Version,
    Unknown,
};

Command commandOf(const char *word)
{
    if (std::strcmp(word, "send") == 0)
        return Command::Send;
    if (std::strcmp(word, "send-drafts") == 0)
        return Command::SendDrafts;
    if (std::strcmp(word, "account") == 0)
        return Command::Account;
    if (std::strcmp(word, "--help") == 0 || std::strcmp(word, "-h") == 0)
        return Command::Help;
    if (std::strcmp(word, "--version") == 0)
        return Command::Version;
    return Command::Unknown;
}

int runSend(const ParsedArguments &parsed, QTextStream &out, QTextStream &err)
{
    QtSettingsStore settings;
    LocalFileSystem files;
    Interruption interruption;
    const OutboxMaker makeOutbox =
        [&settings, &interruption](const SendOptions &options) -> std::unique_ptr<Outbox> {
        if (options.dryRun) {
            if (!options.outbox.isEmpty())
                return MaildirOutbox::forSizing(options.outbox);
            return createSizingOutbox(settings);
        }
        if (!options.outbox.isEmpty())
            return std::make_unique<MaildirOutbox>(options.outbox);
        // An OAuth account uses the kept sign-in or TokenCommand: never a browser from here.
        auto outbox = createOutbox(settings, std::nullopt,
                                   std::make_shared<KeychainPasswordStore>(), FirstToken::Now,
                                   [&interruption] { return interruption.cancel.cancelled(); });
        // Nobody to ask here: the keyring or PasswordCommand has the password, or the Send
        // fails saying it is missing. An outbox that sends asks for it too, for its login or
        // for its copies in Sent.
        if (outbox->needsPassword()) {
            KeychainPasswordStore keyring;
            if (const std::optional<QString> password =
                    resolvePassword(readMailAccount(settings), keyring,
                                    [&interruption] { return interruption.cancel.cancelled(); }))
                outbox->setPassword(*password);
        }
        return outbox;
    };
    ResumeStateFile state(ResumeStateFile::defaultFolder());
    const InterruptHandlers handlers(interruption);
    return runSendCommand(parsed.options, settings, withHomeAsTilde(QtSettingsStore::filePath()),
                          files, makeOutbox, interruption, state,
                          {out, err, ::isatty(STDERR_FILENO) ? stderr : nullptr});
}

// Asks on the terminal; SIGINT or SIGTERM while it waits is a no.
bool confirmOnTerminal(const QString &question, const Interruption &interruption)
{
    std::fputs(question.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    QByteArray answer;
    while (interruption.signal == 0 && answer.size() < 64) {
        pollfd wait{STDIN_FILENO, POLLIN, 0};
        const int ready = ::poll(&wait, 1, 100);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || c == '\n')
            break;
        answer += c;
    }
    if (interruption.signal != 0)
        return false;
    answer = answer.trimmed().toLower();
    return answer == "y" || answer == "yes";
}

int runSendDrafts(const QList<QByteArray> &arguments, QTextStream &out, QTextStream &err)
{
    QtSettingsStore settings;
    Interruption interruption;
    const ReviewedSendMaker make = [&settings, &interruption] {
        const auto cancelled = [&interruption] { return interruption.cancel.cancelled(); };
        const MailAccount account = readMailAccount(settings);
        // Nobody to ask for a password here: the keyring or PasswordCommand has it.
        std::optional<QString> password;
        if (account.imapAuth != ImapAuth::OAuth2 || account.smtpAuth != ImapAuth::OAuth2) {
            KeychainPasswordStore keyring;
            password = resolvePassword(account, keyring, cancelled);
        }
        return createReviewedSend(settings, password, std::make_shared<KeychainPasswordStore>(),
                                  FirstToken::Now, cancelled);
    };
    const InterruptHandlers handlers(interruption);
    Confirmation confirm;
    if (::isatty(STDIN_FILENO))
        confirm = [&interruption](const QString &question) {
            return confirmOnTerminal(question, interruption);
        };
    return runSendDraftsCommand(arguments, make, confirm, interruption,
                                {out, err, ::isatty(STDERR_FILENO) ? stderr : nullptr});
}

} // namespace

bool wantsCommandLine(int argc, char **)
{
    // Any word at all: the window takes none, and an unknown one must not need a display.
    return argc >= 2;
}

int runCommandLine(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Ferrymail"));
    QCoreApplication::setOrganizationName(QStringLiteral("Ferrymail"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const Command command = commandOf(argv[1]);
    int code = ExitCode::sent;
    bool filing = false; // whether a Send may have filed messages
    if (command == Command::Help) {
        out << usageText();
    } else if (command == Command::Version) {
        out << versionText();
    } else if (command == Command::SendDrafts) {
        QList<QByteArray> arguments;
        for (int i = 2; i < argc; ++i)
            arguments << QByteArray(argv[i]);
        filing = true;
        code = runSendDrafts(arguments, out, err);
    } else if (command == Command::Account) {
        QList<QByteArray> arguments;
        for (int i = 2; i < argc; ++i)
            arguments << QByteArray(argv[i]);
        code = runAccountCommand(
            arguments,
            [](const QString &address) {
                // The window proposes for the account it shows: here, the one the settings hold.
                MailAccount account;
                try {
                    account = readMailAccount(QtSettingsStore());
                } catch (const Failure &) {
                }
                return proposedSettings(findSettingsWaiting(address), account);
            },
            out, err);
    } else if (command == Command::Unknown) {
        err << QStringLiteral("Unknown command or option %1.\n\n")
                   .arg(QString::fromLocal8Bit(argv[1]))
            << usageText();
        code = ExitCode::refused;
    } else {
        QList<QByteArray> arguments;
        for (int i = 2; i < argc; ++i)
            arguments << QByteArray(argv[i]);
        const ParsedArguments parsed = parseSendArguments(arguments);
        switch (parsed.action) {
        case ParsedArguments::Action::Help:
            out << sendUsageText();
            break;
        case ParsedArguments::Action::Version:
            out << versionText();
            break;
        case ParsedArguments::Action::UsageError:
            err << parsed.error << "\nTry 'ferrymail send --help'.\n";
            code = ExitCode::refused;
            break;
        case ParsedArguments::Action::Send:
            filing = !parsed.options.dryRun;
            code = runSend(parsed, out, err);
            break;
        }
    }
    out.flush();
    // Subjects that never reached standard output leave a script without its list: a full
    // disk or a closed output is a failure, even after a Send that filed everything.
    if (out.status() != QTextStream::Ok || !flushedWithoutError(stdout)) {
        const int error = errno;
        err << describeSystemError(QStringLiteral("Cannot write to standard output"), error)
            << '\n';
        if (code == ExitCode::sent) {
            if (filing)
                err << "Every message was filed all the same.\n";
            code = ExitCode::failed;
        }
    }
    err.flush();
    return code;
}
