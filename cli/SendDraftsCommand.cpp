#include "cli/SendDraftsCommand.h"

#include "cli/Interruption.h"
#include "common/ByteText.h"
#include "common/Failure.h"
#include "common/OneLineText.h"
#include "common/SendCancelled.h"
#include "mailbridge/review/DraftsFolder.h"
#include "mailbridge/review/MessageSubmission.h"
#include "mailbridge/review/ReviewedSend.h"
#include "mailbridge/wiring/ReviewedSendAccount.h"

#include <cstdio>

namespace {

// "Draft 2 of 3: subject (4.2 MB)" on the terminal, when there is one.
class TerminalDraftProgress : public ReviewedSendProgress
{
public:
    explicit TerminalDraftProgress(std::FILE *terminal) : m_terminal(terminal) {}
    void draftStarted(int index, int count, const QString &subject, std::uint64_t size) override
    {
        if (!m_terminal)
            return;
        const QString line = QStringLiteral("Draft %1 of %2: %3 (%4)\n")
                                 .arg(index + 1)
                                 .arg(count)
                                 .arg(oneLineText(subject), byteText(std::int64_t(size)));
        std::fputs(line.toLocal8Bit().constData(), m_terminal);
        std::fflush(m_terminal);
    }
    void bytesDone(std::uint64_t) override {}
    void draftSent(int) override {}

private:
    std::FILE *m_terminal;
};

struct DraftsOptions
{
    bool yes = false;
    bool dryRun = false;
    bool help = false;
    QString error;
};

DraftsOptions parse(const QList<QByteArray> &arguments)
{
    DraftsOptions options;
    for (const QByteArray &argument : arguments) {
        if (argument == "--yes" || argument == "-y")
            options.yes = true;
        else if (argument == "--dry-run" || argument == "-n")
            options.dryRun = true;
        else if (argument == "--help" || argument == "-h")
            options.help = true;
        else
            options.error = QStringLiteral("Unknown option %1 of send-drafts.")
                                .arg(oneLineText(QString::fromLocal8Bit(argument)));
    }
    return options;
}

} // namespace

QString sendDraftsUsageText()
{
    return QStringLiteral(
        "Usage: ferrymail send-drafts [--yes] [--dry-run]\n"
        "\n"
        "Sends the drafts that Ferrymail filed into the Drafts folder of your IMAP account\n"
        "and that are still there, as they are now: you may have changed a text, added a\n"
        "recipient or deleted a draft in your mail program. Each goes through the account's\n"
        "outgoing server (SmtpHost) to the addresses of its own To, Cc and Bcc, without its\n"
        "Bcc line, and then moves to Sent. It first shows how many drafts go to whom, and\n"
        "asks.\n"
        "\n"
        "  -y, --yes       send without asking\n"
        "  -n, --dry-run   only show what would be sent\n"
        "  -h, --help      show this text\n"
        "\n"
        "A draft whose end reached the server without an answer is never sent again by\n"
        "itself: it is named as \"May have been sent\", and left in Drafts.\n"
        "Exit status: 0 sent, or nothing to send; 1 a failure, or a draft that may have\n"
        "been sent; 2 a usage error, or no answer to the question; 130 and 143 when\n"
        "stopped by SIGINT or SIGTERM.\n");
}

int runSendDraftsCommand(const QList<QByteArray> &arguments, const ReviewedSendMaker &make,
                         const Confirmation &confirm, Interruption &interruption,
                         CommandOutput output)
{
    const DraftsOptions options = parse(arguments);
    if (options.help) {
        output.out << sendDraftsUsageText();
        return ExitCode::sent;
    }
    if (!options.error.isEmpty()) {
        output.err << options.error << "\nTry 'ferrymail send-drafts --help'.\n";
        return ExitCode::refused;
    }
    const auto interrupted = [&interruption] {
        return interruption.signal != 0 ? 128 + interruption.signal : ExitCode::failed;
    };
    try {
        ReviewedSendAccount parts = make();
        parts.folder->setCancelCheck([&interruption] { return interruption.cancel.cancelled(); });
        parts.submission->setCancelCheck(
            [&interruption] { return interruption.cancel.cancelled(); });
        const ReviewPlan plan = planReviewedSend(*parts.folder, parts.filed->of(parts.account));
        output.err << terminalText(
            QStringLiteral("In %1: %2\n").arg(parts.folder->destination(), plan.preview()));
        if (plan.drafts.empty() || options.dryRun)
            return ExitCode::sent;
        if (!options.yes) {
            if (!confirm) {
                output.err << "Nothing was sent: add --yes to send without being asked.\n";
                return ExitCode::refused;
            }
            output.err.flush();
            if (!confirm(QStringLiteral("Send them? [y/N] "))) {
                output.err << "Nothing was sent.\n";
                return ExitCode::refused;
            }
        }
        TerminalDraftProgress progress(output.progressTerminal);
        const ReviewedSendOutcome outcome =
            sendReviewedDrafts(plan, *parts.folder, *parts.submission, *parts.filed, parts.account,
                               parts.keepCopies, progress, interruption.cancel);
        for (const QString &subject : outcome.sent)
            output.out << oneLineText(subject) << '\n';
        for (const QString &subject : outcome.perhapsSent)
            output.err << "May have been sent: " << oneLineText(subject) << '\n';
        for (const QString &warning : outcome.warnings)
            output.err << terminalText(warning) << '\n';
        if (!outcome.failure.isEmpty())
            output.err << terminalText(outcome.failure) << '\n';
        output.out << oneLineText(outcome.summary()) << '\n';
        if (outcome.complete())
            return outcome.warnings.isEmpty() ? ExitCode::sent : ExitCode::failed;
        return outcome.cancelled ? interrupted() : ExitCode::failed;
    } catch (const SendCancelled &) {
        output.err << "Stopped; nothing was sent.\n";
        return interrupted();
    } catch (const Failure &failure) {
        output.err << terminalText(failure.description()) << "\nNothing was sent.\n";
        return ExitCode::failed;
    }
}
