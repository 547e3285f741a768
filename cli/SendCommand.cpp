#include "cli/SendCommand.h"

#include "batch/BatchPlan.h"
#include "batch/BatchSender.h"
#include "batch/ComposedSizes.h"
#include "batch/SendValidation.h"
#include "cli/DryRun.h"
#include "cli/Interruption.h"
#include "cli/TerminalProgress.h"
#include "common/FileNameCodec.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListRefresh.h"
#include "mailbridge/MailApplication.h"
#include "mailbridge/TransferMonitor.h"
#include "settings/RememberedEntries.h"

#include <optional>

namespace {

// The request the window would make with these files ticked, and the names not found.
struct TickedRequest
{
    SendRequest request;
    QStringList missing;
};

TickedRequest requestFor(const SendOptions &options, const SettingsStore &settings,
                         const FileSystem &files)
{
    FileListModel list;
    refreshFileList(options.folder, files, list);
    TickedRequest ticked;
    SendRequest &request = ticked.request;
    request.folder = list.folder();
    request.entries = list.lines();
    request.listState = list.state();
    request.sizeText = options.size.value_or(RememberedEntries::loadMaxSize(settings));
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
            ticked.missing << displayFileName(name);
        else
            line->ticked = true;
    }
    return ticked;
}

// The window's refusals first; then names that are not files of the folder, before the
// refusal of a Send with nothing ticked, which they would otherwise hide.
std::optional<QString> refusalOf(const TickedRequest &ticked, const QString &folder)
{
    const auto refusal = refusalFor(ticked.request);
    if (refusal && *refusal != QStringLiteral("No files selected!"))
        return refusal;
    if (!ticked.missing.isEmpty())
        return QStringLiteral("Not a file of the folder %1: %2")
            .arg(displayFileName(folder), ticked.missing.join(QStringLiteral(", ")));
    return refusal;
}

void printSubjects(QTextStream &out, const QStringList &subjects)
{
    for (const QString &subject : subjects)
        out << subject << '\n';
    out.flush();
}

} // namespace

int runSendCommand(const SendOptions &options, const SettingsStore &settings,
                   const FileSystem &files, const OutboxMaker &makeOutbox,
                   Interruption &interruption, CommandOutput output)
{
    try {
        const TickedRequest ticked = requestFor(options, settings, files);
        if (const auto refusal = refusalOf(ticked, options.folder)) {
            output.err << *refusal << '\n';
            return ExitCode::refused;
        }
        if (options.dryRun) {
            const BatchPlan plan = planBatch(ticked.request, files);
            const auto sizes = composedSizes(plan, ticked.request);
            output.out << (options.json ? dryRunJson(plan, sizes) : dryRunText(plan, sizes));
            return ExitCode::sent;
        }
        const auto outbox = makeOutbox(options);
        std::optional<TerminalProgress> terminal;
        if (output.progressTerminal)
            terminal.emplace(output.progressTerminal);
        SendProgress &progress =
            terminal ? static_cast<SendProgress &>(*terminal) : SendProgress::none();
        try {
            const SendOutcome outcome =
                sendBatch(ticked.request, *outbox, files, progress, interruption.cancel);
            terminal.reset();
            printSubjects(output.out, outcome.filedSubjects);
            return ExitCode::sent;
        } catch (const SendStopped &stopped) {
            terminal.reset();
            printSubjects(output.out, stopped.filedSubjects());
            output.err << stopped.description() << '\n';
            if (stopped.cancelled() && interruption.signal != 0)
                return 128 + interruption.signal;
            return ExitCode::failed;
        }
    } catch (const Refusal &refusal) {
        output.err << refusal.description() << '\n';
        return ExitCode::refused;
    } catch (const SendCancelled &cancelled) {
        // Stopped before the Send began, while a password command ran.
        output.err << cancelled.description() << '\n';
        return interruption.signal != 0 ? 128 + interruption.signal : ExitCode::failed;
    } catch (const Failure &failure) {
        output.err << failure.description() << '\n';
        return ExitCode::failed;
    } catch (const std::exception &error) {
        output.err << QString::fromLocal8Bit(error.what()) << '\n';
        return ExitCode::failed;
    }
}
