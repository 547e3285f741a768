#include "cli/SendCommand.h"

#include "batch/BatchSender.h"
#include "batch/PreparedSend.h"
#include "cli/DryRun.h"
#include "cli/Interruption.h"
#include "cli/RecordingProgress.h"
#include "cli/ResumeState.h"
#include "cli/ResumeStateFile.h"
#include "cli/SizeChoice.h"
#include "cli/TerminalProgress.h"
#include "common/FileNameCodec.h"
#include "common/HomePath.h"
#include "common/OneLineText.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListRefresh.h"
#include "mailbridge/Outbox.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/ComposedMessageRules.h"
#include "settings/ManifestSetting.h"

#include <QFileInfo>

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

// The subjects of the messages filed and of those perhaps filed, then one line of where the
// filed ones went: "4 messages in the outbox folder ~/Outbox", "Sent to ann@example.org: 4
// messages". That line only when one was filed.
void printFiled(QTextStream &out, const QStringList &subjects, const QStringList &perhaps,
                const Outbox &outbox, const QString &to)
{
    const bool sent = outbox.sendsOn();
    for (const QString &subject : subjects)
        out << oneLineText(subject) << '\n';
    for (const QString &subject : perhaps)
        out << (sent ? "May have been sent: " : "Perhaps filed: ") << oneLineText(subject) << '\n';
    if (!subjects.isEmpty())
        out << oneLineText(outbox.deliveredText(int(subjects.size()), to)) << '\n';
    out.flush();
}

// How a Send keeps its record for --resume: none when another Send holds the lock.
struct Recording
{
    ResumeStateFile &file;
    SendRecord record;
};

// The record of a Send about to begin, written before its first message goes so that a Send
// stopped at any point can be resumed; none when it would be too large to read back.
std::optional<Recording> startRecording(const PreparedSend &prepared, const SendOptions &options,
                                        const SettingsStore &settings, const Outbox &outbox,
                                        ResumeStateFile &state, QTextStream &err)
{
    SendRecord record = recordOf(prepared, stampOnDisk);
    record.outboxFolder = options.outbox;
    if (options.outbox.isEmpty())
        record.outboxSettings = outboxSettingsDigest(settings);
    record.destination = outbox.destination();
    // Tens of thousands of files.
    if (recordText(record).size() > maxRecordBytes) {
        err << "This Send has too many files to be recorded for --resume: it cannot be resumed "
               "if it stops.\n";
        return std::nullopt;
    }
    if (QFileInfo::exists(state.path()))
        err << "The unfinished Send recorded before can no longer be resumed: this Send takes "
               "its place.\n";
    state.write(record);
    return Recording{state, std::move(record)};
}

// Files the prepared Send from its first message, keeping the record in step when there is
// one, and reports as the command does. Returns the exit code.
int deliver(const PreparedSend &prepared, Outbox &outbox, std::optional<Recording> &recording,
            Interruption &interruption, CommandOutput output)
{
    std::optional<TerminalProgress> terminal;
    if (output.progressTerminal)
        terminal.emplace(output.progressTerminal);
    SendProgress &shown = terminal ? static_cast<SendProgress &>(*terminal) : SendProgress::none();
    std::optional<RecordingProgress> recorder;
    if (recording)
        recorder.emplace(
            shown, recording->record, prepared.firstMessage,
            [&file = recording->file](const SendRecord &record) { file.write(record); },
            interruption.cancel);
    SendProgress &progress = recorder ? static_cast<SendProgress &>(*recorder) : shown;
    const auto recordFailure = [&](const QString &what) {
        output.err << terminalText(what) << '\n';
    };
    try {
        const SendOutcome outcome = sendBatch(prepared, outbox, progress, interruption.cancel);
        terminal.reset();
        printFiled(output.out, outcome.filedSubjects, outcome.perhapsFiledSubjects, outbox,
                   prepared.request.recipient);
        if (recording) {
            try {
                recording->file.remove();
            } catch (const Failure &failure) {
                recordFailure(failure.description());
            }
        }
        return ExitCode::sent;
    } catch (const SendStopped &stopped) {
        terminal.reset();
        printFiled(output.out, stopped.filedSubjects(), stopped.perhapsFiledSubjects(), outbox,
                   prepared.request.recipient);
        output.err << terminalText(stopped.description(oneLineText)) << '\n';
        if (recorder && !recorder->saveFailure().isEmpty())
            recordFailure(recorder->saveFailure() +
                          QStringLiteral("\nThe Send was stopped there, so that a resume "
                                         "cannot send a message twice."));
        if (recording) {
            SendRecord &record = recording->record;
            recordStop(record, prepared.firstMessage, stopped.filedSubjects().size(),
                       stopped.perhapsFiledSubjects().size());
            try {
                if (hasPending(record)) {
                    recording->file.write(record);
                    output.err << "'ferrymail send --resume' sends the rest.\n";
                } else {
                    recording->file.remove();
                }
            } catch (const Failure &failure) {
                recordFailure(failure.description());
            }
        }
        if (stopped.cancelled() && interruption.signal != 0)
            return 128 + interruption.signal;
        return ExitCode::failed;
    }
}

// The Send the record describes, from its first message not sent, or a refusal.
int resumeSend(const SettingsStore &settings, const OutboxMaker &makeOutbox,
               Interruption &interruption, ResumeStateFile &state, CommandOutput output)
{
    if (!state.lock())
        throw Refusal(QStringLiteral("Another Send of yours is running; resume after it ended."));
    std::optional<SendRecord> record = state.read();
    if (!record)
        throw Refusal(QStringLiteral("Nothing to resume: no unfinished Send is recorded in %1.")
                          .arg(withHomeAsTilde(state.path())));
    ResumePlan resume;
    try {
        resume = resumePlanOf(*record, stampOnDisk);
    } catch (const Refusal &) {
        if (!hasPending(*record))
            state.remove();
        throw;
    }
    SendOptions options;
    options.folder = record->folder;
    options.outbox = record->outboxFolder;
    const QString changed =
        QStringLiteral("The outbox settings changed since the Send began (it used %1). Put "
                       "them back to resume, or send the rest afresh.")
            .arg(oneLineText(record->destination));
    if (options.outbox.isEmpty() && outboxSettingsDigest(settings) != record->outboxSettings)
        throw Refusal(changed);
    const auto outbox = makeOutbox(options);
    if (outbox->destination() != record->destination)
        throw Refusal(changed);
    // Going messages are now Unknown for good, whatever this run does.
    state.write(*record);
    std::optional<Recording> recording(Recording{state, std::move(*record)});
    const int code = deliver(resume.send, *outbox, recording, interruption, output);
    if (resume.unknownSubjects.isEmpty())
        return code;
    QStringList lines;
    for (const QString &subject : resume.unknownSubjects)
        lines << oneLineText(subject);
    output.err << (outbox->sendsOn() ? "Not sent again, as they may have been sent: look in your "
                                       "Sent folder or ask the recipient, and send their files "
                                       "again by name only if they did not arrive:\n"
                                     : "Not filed again, as they may be there: look in the outbox, "
                                       "and send their files again by name only if they are "
                                       "not there:\n")
               << lines.join(QLatin1Char('\n')) << '\n';
    return code == ExitCode::sent ? ExitCode::failed : code;
}

} // namespace

int runSendCommand(const SendOptions &options, const SettingsStore &settings,
                   const QString &settingsFile, const FileSystem &files,
                   const OutboxMaker &makeOutbox, Interruption &interruption,
                   ResumeStateFile &state, CommandOutput output)
{
    try {
        if (options.resume)
            return resumeSend(settings, makeOutbox, interruption, state, output);
        // Checked and planned before any outbox exists: a refusal creates nothing.
        const SizeChoice size = chooseSize(options.size, settings, settingsFile);
        const PreparedSend prepared =
            prepare(requestFor(options, size, settings, files), options.folder, files);
        if (options.dryRun) {
            const auto outbox = makeOutbox(options);
            std::vector<std::uint64_t> sizes;
            for (const Draft &message : draftsOf(prepared))
                sizes.push_back(outbox->storedSize(message));
            output.out << (options.json ? dryRunJson(prepared.plan, sizes, size)
                                        : dryRunText(prepared.plan, sizes, size));
            return ExitCode::sent;
        }
        // One Send at a time keeps the record; another runs all the same, without one.
        const bool recorded = state.lock();
        const auto outbox = makeOutbox(options);
        std::optional<Recording> recording =
            recorded ? startRecording(prepared, options, settings, *outbox, state, output.err)
                     : std::nullopt;
        if (!recorded)
            output.err << "Another Send of yours is running and keeps the record for --resume: "
                          "this one cannot be resumed if it stops.\n";
        return deliver(prepared, *outbox, recording, interruption, output);
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
