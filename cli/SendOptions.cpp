#include "cli/SendOptions.h"

#include "common/FileNameCodec.h"
#include "common/HomePath.h"

#include <QCoreApplication>

namespace {

// Options that take a value, and where the value goes.
QString *valueSlot(SendOptions &options, const QByteArray &name, std::optional<QString> &size)
{
    if (name == "--to")
        return &options.to;
    if (name == "--from")
        return &options.from;
    if (name == "--subject")
        return &options.subject;
    if (name == "--outbox")
        return &options.outbox;
    if (name == "--size") {
        size = QString();
        return &*size;
    }
    return nullptr;
}

} // namespace

ParsedArguments parseSendArguments(const QList<QByteArray> &arguments)
{
    ParsedArguments parsed;
    SendOptions &options = parsed.options;
    QStringList positional;
    QStringList given; // the options that --resume takes from the Send it resumes
    bool optionsEnded = false;
    const auto usageError = [&parsed](const QString &error) {
        parsed.action = ParsedArguments::Action::UsageError;
        parsed.error = error;
        return parsed;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QByteArray argument = arguments[i];
        if (!optionsEnded && argument == "-h") {
            parsed.action = ParsedArguments::Action::Help;
            return parsed;
        }
        if (optionsEnded || !argument.startsWith("--") || argument == "-") {
            positional << decodeFileName(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help") {
            parsed.action = ParsedArguments::Action::Help;
            return parsed;
        }
        if (argument == "--version") {
            parsed.action = ParsedArguments::Action::Version;
            return parsed;
        }
        if (argument == "--all") {
            options.all = true;
            given << QStringLiteral("--all");
            continue;
        }
        if (argument == "--dry-run") {
            options.dryRun = true;
            given << QStringLiteral("--dry-run");
            continue;
        }
        if (argument == "--resume") {
            options.resume = true;
            continue;
        }
        if (argument == "--json") {
            options.json = true;
            given << QStringLiteral("--json");
            continue;
        }
        // --name=value or --name value.
        QByteArray value;
        bool hasValue = false;
        if (const qsizetype equals = argument.indexOf('='); equals > 0) {
            value = argument.mid(equals + 1);
            argument.truncate(equals);
            hasValue = true;
        }
        QString *slot = valueSlot(options, argument, options.size);
        if (!slot)
            return usageError(
                QStringLiteral("Unknown option %1.").arg(QString::fromUtf8(argument)));
        if (!hasValue) {
            if (++i >= arguments.size())
                return usageError(QStringLiteral("The option %1 needs a value.")
                                      .arg(QString::fromUtf8(argument)));
            value = arguments[i];
        }
        *slot = argument == "--outbox" ? decodeFileName(value) : QString::fromUtf8(value);
        given << QString::fromUtf8(argument);
    }
    if (options.resume) {
        if (!positional.isEmpty())
            return usageError(QStringLiteral("--resume sends the files the unfinished Send left, "
                                             "from its folder: name no folder or file."));
        if (!given.isEmpty())
            return usageError(QStringLiteral("--resume sends with the options of the Send it "
                                             "resumes: leave out %1.")
                                  .arg(given.first()));
        parsed.action = ParsedArguments::Action::Send;
        return parsed;
    }
    if (positional.isEmpty())
        return usageError(QStringLiteral("Name the folder whose files to send."));
    if (options.json && !options.dryRun)
        return usageError(QStringLiteral("--json goes with --dry-run."));
    options.folder = expandHome(positional.takeFirst());
    options.names = positional;
    if (options.all && !options.names.isEmpty())
        return usageError(QStringLiteral("Give either --all or names of files, not both."));
    parsed.action = ParsedArguments::Action::Send;
    return parsed;
}

QString versionText()
{
    return QStringLiteral("ferrymail %1\n").arg(QStringLiteral(FERRYMAIL_VERSION));
}

QString usageText()
{
    return QStringLiteral(
        "Usage: ferrymail                 open the window\n"
        "       ferrymail send [options] FOLDER [NAME...]\n"
        "                                 send files from the command line\n"
        "       ferrymail send --resume   send what the last unfinished Send left\n"
        "       ferrymail send-drafts     send the drafts you reviewed in your IMAP Drafts\n"
        "       ferrymail -h, --help      show this text\n"
        "       ferrymail --version       show the version\n"
        "\n"
        "Mails many files as attachments, split over as many messages as a size limit needs,\n"
        "into a Maildir outbox or the Drafts folder of an IMAP account.\n"
        "Try 'ferrymail send --help' for the options of send.\n");
}

QString sendUsageText()
{
    return QStringLiteral(
        "Usage: ferrymail send [options] FOLDER [NAME...]\n"
        "       ferrymail send --resume\n"
        "\n"
        "Sends the named files of FOLDER (or with --all every file in it) as attachments,\n"
        "split over as many messages as the size limit requires, into the outbox. The files\n"
        "go in the window's list order: sorted by name without regard to case. A message\n"
        "closes as soon as its files reach the limit, so a file larger than the limit joins\n"
        "the smaller files before it and goes alone only when it comes first. The files of\n"
        "one message may add up to at most 2 GiB (2,147,483,647 bytes).\n"
        "\n"
        "Each message opens with a text saying \"Message 2 of 4\", the batch's prefix and date\n"
        "and its files, and ends with checksums-2-of-4.sha256, the SHA-256 of its files for\n"
        "sha256sum -c. Manifest=false in the [Settings] section leaves both out.\n"
        "\n"
        "Options:\n"
        "  --to ADDRESS       the recipient\n"
        "  --from ADDRESS     the sender\n"
        "  --subject PREFIX   each subject is the prefix followed by its file names\n"
        "  --size KB          maximum message size in kilobytes of 1024, counting the files\n"
        "                     only: 1 or more (default: the size the window saved, else 750)\n"
        "  --all              every file of the folder\n"
        "  --outbox DIR       a Maildir folder for this run instead of the configured outbox\n"
        "  --dry-run          create nothing; print the split with each message's exact size,\n"
        "                     and the size limit used and where it came from\n"
        "  --json             with --dry-run, print the split as JSON\n"
        "  --resume           send what the last unfinished Send left unsent, with its\n"
        "                     options, split, subjects and numbering; takes no other\n"
        "                     option, folder or name. A message that may have been sent\n"
        "                     (its answer was lost) is named and never sent again: check\n"
        "                     your Sent folder or ask the recipient, then send its files\n"
        "                     by name if need be. Refused when nothing is left, when a\n"
        "                     file to go changed since, or when the outbox settings did\n"
        "                     change.\n"
        "  -h, --help         show this text\n"
        "  --version          show the version\n"
        "\n"
        "Exit codes: 0 sent; 1 a failure (what was filed is listed), or a resume that\n"
        "left a message that may have been sent; 2 refused, nothing created (also for a\n"
        "--size below 1); 130 or 143 stopped by SIGINT or SIGTERM (what was filed is\n"
        "listed). After 1, 130 or 143, 'ferrymail send --resume' sends the rest.\n"
        "Each message filed is printed on standard output by its subject, with control\n"
        "characters written as escapes (\\n, \\t, \\x1b) so that each takes one line;\n"
        "a last line says where they went: \"4 messages in the outbox folder ~/...\",\n"
        "\"4 drafts in the Drafts folder of ...\" or \"Sent to ann@example.org: 4 messages\".\n"
        "\n"
        "Settings: ~/.config/Ferrymail/Ferrymail.conf ([MailClient] chooses the outbox).\n"
        "Record of the unfinished Send: ~/.local/state/Ferrymail/unfinished-send.json\n"
        "(under $XDG_STATE_HOME when set); a new Send replaces it.\n"
        "\n"
        "Example:\n"
        "  ferrymail send --to ann@example.org --from me@example.org --subject \"Scans: \" \\\n"
        "      --size 10240 ~/scans a.pdf b.pdf\n");
}
