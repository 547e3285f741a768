// Filing messages of about 10 MiB each into an IMAP drafts folder over TLS on loopback, to a
// Dovecot of the benchmark's own, against the curl tool appending the very same composed
// messages one by one (a process and a connection each), and against the Maildir outbox.
// Our outbox's time includes composing each message; curl's does not. The last lines are the
// wall-time ratio outbox/curl (target <= 1.1) and the outbox's peak memory (target < 64 MiB).
//
// bench_imap [--megabytes N] [--message-mebibytes N] [--rounds N] [--folder DIR]
//            (defaults: 1024 MiB of messages, 10 MiB each, 1 round, /var/tmp)
// Rounds alternate the two IMAP runs, evening out a busy machine's moods.

#include "DovecotServer.h"
#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/imap/ImapOutbox.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "support/BenchFiles.h"
#include "support/ChildRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t mebibyte = 1024 * 1024;

MessageContent contentFor(const QString &attachment)
{
    MessageContent content;
    content.to = QStringLiteral("archive@example.org");
    content.from = QStringLiteral("Bench <bench@example.org>");
    content.subject = QFileInfo(attachment).fileName();
    content.attachments.push_back(inspectAttachment(attachment));
    return content;
}

// The measured parts, each run in a child of its own.
int sendInto(Outbox &outbox, const QString &sources)
{
    for (const QString &path : filesIn(sources, QStringLiteral("*.bin"))) {
        Draft draft;
        const MessageContent content = contentFor(path);
        draft.to = content.to;
        draft.from = content.from;
        draft.subject = content.subject;
        draft.attachmentPaths << path;
        outbox.file(draft, TransferMonitor::none());
    }
    return 0;
}

int childMain(const QStringList &args)
{
    try {
        if (args[1] == QLatin1String("--send-imap")) {
            ImapEndpoint endpoint;
            endpoint.host = QStringLiteral("127.0.0.1");
            endpoint.port = args[3].toInt();
            endpoint.caFile = args[4];
            endpoint.user = DovecotServer::user;
            ImapOutbox outbox(endpoint, QString(DovecotServer::password));
            return sendInto(outbox, args[2]);
        }
        MaildirOutbox outbox(args[3]);
        return sendInto(outbox, args[2]);
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_imap: %s\n", failure.what());
        return 1;
    }
}

double megabytesPerSecond(std::int64_t bytes, double seconds)
{
    return double(bytes) / 1e6 / seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args[1].startsWith(QLatin1String("--send-")))
        return childMain(args);

    std::int64_t megabytes = 1024;
    std::int64_t messageMebibytes = 10;
    int rounds = 1;
    QString parent = QStringLiteral("/var/tmp");
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--megabytes"))
            megabytes = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--message-mebibytes"))
            messageMebibytes = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--folder"))
            parent = args[i + 1];
    }
    QTemporaryDir work(parent + QStringLiteral("/ferrymail-bench-imap-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "bench_imap: cannot make a folder in %s\n", qPrintable(parent));
        return 1;
    }
    try {
        // base64 lines of 76 + CRLF: an attachment of 3/4 * 76/78 of the message fills it.
        const std::int64_t attachmentBytes = messageMebibytes * mebibyte * 3 / 4 * 76 / 78;
        const int count = int(std::max<std::int64_t>(1, megabytes / messageMebibytes));
        const QString sources = work.filePath(QStringLiteral("sources"));
        const QString composed = work.filePath(QStringLiteral("composed"));
        QDir().mkpath(sources);
        QDir().mkpath(composed);
        std::int64_t messageBytes = 0;
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("part-%1").arg(i, 4, 10, QLatin1Char('0'));
            const QString source = sources + QLatin1Char('/') + name + QStringLiteral(".bin");
            writeRandomFile(source, attachmentBytes, quint32(i + 1));
            // The same message for curl, composed as the IMAP outbox composes it (CRLF).
            const QString message = composed + QLatin1Char('/') + name + QStringLiteral(".eml");
            QFile out(message);
            if (!out.open(QIODevice::WriteOnly))
                throw Failure(QStringLiteral("Cannot create %1").arg(message));
            streamMessage(
                contentFor(source), LineEnding::CrLf, TransferMonitor::none(),
                [&out](const char *data, std::size_t length) { out.write(data, qint64(length)); });
            out.close();
            messageBytes += QFileInfo(message).size();
        }
        ::sync();
        std::printf("%d messages of %.1f MiB, %.1f MiB in all\n", count,
                    double(messageBytes) / count / mebibyte, double(messageBytes) / mebibyte);

        DovecotOptions options;
        DovecotServer server(options);
        const std::string port = std::to_string(server.imapsPort());
        const std::string ca = server.caFile().toStdString();
        const std::string credentials =
            std::string(DovecotServer::user) + ':' + DovecotServer::password;
        const std::string self = QCoreApplication::applicationFilePath().toStdString();

        const std::string reference = "imaps://127.0.0.1:" + port + "/Reference";
        runChild({"curl", "-sS", "--cacert", ca, "-u", credentials, "-X", "CREATE Reference",
                  "imaps://127.0.0.1:" + port + "/"});
        ChildRun ours;
        ChildRun curl;
        const auto add = [](ChildRun &total, const ChildRun &one) {
            total.seconds += one.seconds;
            total.peakKib = std::max(total.peakKib, one.peakKib);
            total.status = std::max(total.status, one.status);
        };
        for (int round = 0; round < rounds; ++round) {
            add(ours, runChild({self, "--send-imap", sources.toStdString(), port, ca}));
            for (const QString &message : filesIn(composed, QStringLiteral("*.eml")))
                add(curl, runChild({"curl", "-sS", "--cacert", ca, "-u", credentials,
                                    "--upload-file", message.toStdString(), reference}));
        }
        messageBytes *= rounds;

        ChildRun maildir;
        for (int round = 0; round < rounds; ++round)
            add(maildir,
                runChild({self, "--send-maildir", sources.toStdString(),
                          work.filePath(QStringLiteral("Outbox%1").arg(round)).toStdString()}));
        if (ours.status != 0 || curl.status != 0 || maildir.status != 0) {
            std::fprintf(stderr, "bench_imap: a run failed (imap %d, curl %d, maildir %d)\n",
                         ours.status, curl.status, maildir.status);
            return 1;
        }
        const auto line = [&](const char *name, const ChildRun &run) {
            std::printf("%-16s %.2f s, %.0f MB/s, peak memory %.1f MiB\n", name, run.seconds,
                        megabytesPerSecond(messageBytes, run.seconds), double(run.peakKib) / 1024);
        };
        line("imap outbox:", ours);
        line("curl one by one:", curl);
        line("maildir outbox:", maildir);
        std::printf("ratio imap outbox/curl wall time: %.2f (target <= 1.1)\n",
                    ours.seconds / curl.seconds);
        std::printf("imap outbox peak memory: %.1f MiB (target < 64)\n",
                    double(ours.peakKib) / 1024);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_imap: %s\n", error.what());
        return 1;
    }
    return 0;
}
