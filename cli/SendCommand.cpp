#include "cli/SendCommand.h"

#include "batch/BatchSender.h"
#include "batch/PreparedSend.h"
#include "cli/DryRun.h"
#include "cli/Interruption.h"
#include "cli/SizeChoice.h"
#include "cli/TerminalProgress.h"
#include "common/FileNameCodec.h"
#include "common/OneLineText.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListRefresh.h"
#include "mailbridge/Outbox.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/ComposedMessageRules.h"
#include "settings/ManifestSetting.h"

#include <optional>

namespace {

// The request the window would make with these files ticked, and the names not found.
struct TickedRequest
{
    SendRequest request;
    QStringList missing;
};

TickedRequest requestFor(const SendOptions &options, const SizeChoice &size,
                         const SettingsStore &settings, const FileSystem &files)
{
    FileListModel list;
    refreshFileList(options.folder, files, list);
    TickedRequest ticked;
    SendRequest &request = ticked.request;
    request.folder = list.folder();
    request.entries = list.lines();
    request.listState = list.state();
    request.sizeText = size.text;
    request.manifest = manifestWanted(settings);
    request.recipient = options.to;
    request.subjectPrefix = options.subject;
    request.sender = options.from;
    if (request.listState != ListState::Files)
        return ticked;
    for (FileLine &line : request.entries)
        line.ticked = options.all;
    for (const QString &name : options.names) {
        const auto line = std::find_if(request.entries.begin(), request.entries.end(),
                                       [&name](const FileLine &l) { return l.name == name; });
        if (line == request.entries.end())
            ticked.missing << oneLineText(displayFileName(name));
        else
            line->ticked = true;
    }
    return ticked;
}

// Names that are not files of the folder, as a refusal.
QString missingRefusal(const TickedRequest &ticked, const QString &folder)
{
    return QStringLiteral("Not a file of the folder %1: %2")
        .arg(oneLineText(displayFileName(folder)), ticked.missing.join(QStringLiteral(", ")));
}

// The window's checks and the plan, once. Names that are not files of the folder come before
// the refusal of a Send with nothing ticked, which they would otherwise hide.
PreparedSend prepare(const TickedRequest &ticked, const QString &folder, const FileSystem &files)
{
    PreparedSend prepared;
    try {
        // Every outbox writes its messages with the same rules; none needs to exist yet.
        prepared = prepareSend(ticked.request, files, composedMessageRules());
    } catch (const Refusal &refusal) {
        if (ticked.missing.isEmpty() ||
            refusal.description() != QStringLiteral("No files selected!"))
            throw;
        throw Refusal(missingRefusal(ticked, folder));
    }
    if (!ticked.missing.isEmpty())
        throw Refusal(missingRefusal(ticked, folder));
    return prepared;
}

// The subjects of the messages filed and of those perhaps filed, then where the filed ones
// went: "4 messages in the Maildir outbox ~/Outbox". That line only when one was filed.
void printFiled(QTextStream &out, const QStringList &subjects, const QStringList &perhaps,
                const Outbox &outbox)
{
    const bool sent = outbox.sendsOn();
    for (const QString &subject : subjects)
        out << oneLineText(subject) << '\n';
    for (const QString &subject : perhaps)
        out << (sent ? "May have been sent: " : "Perhaps filed: ") << oneLineText(subject) << '\n';
    if (!subjects.isEmpty())
        out << subjects.size() << (subjects.size() == 1 ? " message" : " messages")
            << (sent ? " sent through " : " in ") << oneLineText(outbox.destination()) << '\n';
    out.flush();
}

} // namespace

int runSendCommand(const SendOptions &options, const SettingsStore &settings,
                   const QString &settingsFile, const FileSystem &files,
                   const OutboxMaker &makeOutbox, Interruption &interruption, CommandOutput output)
{
    try {
        // Checked and planned before any outbox exists: a refusal creates nothing.
        const SizeChoice size = chooseSize(options.size, settings, settingsFile);
        const PreparedSend prepared =
            prepare(requestFor(options, size, settings, files), options.folder, files);
        const auto outbox = makeOutbox(options);
        if (options.dryRun) {
            std::vector<std::uint64_t> sizes;
            for (const Draft &message : draftsOf(prepared))
                sizes.push_back(outbox->storedSize(message));
            output.out << (options.json ? dryRunJson(prepared.plan, sizes, size)
                                        : dryRunText(prepared.plan, sizes, size));
            return ExitCode::sent;
        }
        std::optional<TerminalProgress> terminal;
        if (output.progressTerminal)
            terminal.emplace(output.progressTerminal);
        SendProgress &progress =
            terminal ? static_cast<SendProgress &>(*terminal) : SendProgress::none();
        try {
            const SendOutcome outcome = sendBatch(prepared, *outbox, progress, interruption.cancel);
            terminal.reset();
            printFiled(output.out, outcome.filedSubjects, outcome.perhapsFiledSubjects, *outbox);
            return ExitCode::sent;
        } catch (const SendStopped &stopped) {
            terminal.reset();
            printFiled(output.out, stopped.filedSubjects(), stopped.perhapsFiledSubjects(),
                       *outbox);
            output.err << terminalText(stopped.description(oneLineText)) << '\n';
            if (stopped.cancelled() && interruption.signal != 0)
                return 128 + interruption.signal;
            return ExitCode::failed;
        }
    } catch (const Refusal &refusal) {
        output.err << terminalText(refusal.description()) << '\n';
        return ExitCode::refused;
    } catch (const SendCancelled &cancelled) {
        // Stopped before the Send began, while a password command ran.
        output.err << terminalText(cancelled.description()) << '\n';
        return interruption.signal != 0 ? 128 + interruption.signal : ExitCode::failed;
    } catch (const Failure &failure) {
        output.err << terminalText(failure.description()) << '\n';
        return ExitCode::failed;
    } catch (const std::exception &error) {
        output.err << terminalText(QString::fromLocal8Bit(error.what())) << '\n';
        return ExitCode::failed;
    }
}
