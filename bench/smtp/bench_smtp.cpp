// Sending messages of about 10 MiB each through a submission server over STARTTLS on loopback
// (a Dovecot of the benchmark's own, relaying into its LMTP), against the curl tool sending
// the very same composed messages one by one (a process and a connection each). Our outbox's
// time includes composing each message; curl's does not. Then one message of about 2 GiB,
// for the outbox's peak memory alone. The last lines are the wall-time ratio outbox/curl
// (target <= 1.1) and the outbox's peak memory (target < 64 MiB), with the load average.
//
// bench_smtp [--megabytes N] [--message-mebibytes N] [--big-mebibytes N] [--rounds N]
//            [--folder DIR]
//            (defaults: 1024 MiB of messages, 10 MiB each, one of 2048 MiB, 1 round, /var/tmp)
// Rounds alternate the two runs, evening out a busy machine's moods.

#include "DovecotServer.h"
#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/Attachment.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/smtp/SmtpOutbox.h"
#include "support/BenchFiles.h"
#include "support/ChildRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t mebibyte = 1024 * 1024;
const char *const sender = "drafter@example.org";
const char *const recipient = "ann@example.org";

MessageContent contentFor(const QString &attachment)
{
    MessageContent content;
    content.to = QString::fromLatin1(recipient);
    content.from = QStringLiteral("Bench <%1>").arg(QString::fromLatin1(sender));
    content.subject = QFileInfo(attachment).fileName();
    content.attachments.push_back(inspectAttachment(attachment));
    return content;
}

// The measured part, run in a child of its own: every .bin file of sources, one a message.
int childMain(const QStringList &args)
{
    try {
        SmtpEndpoint endpoint;
        endpoint.host = QStringLiteral("127.0.0.1");
        endpoint.port = args[3].toInt();
        endpoint.security = ImapSecurity::StartTls;
        endpoint.caFile = args[4];
        endpoint.user = DovecotServer::user;
        SmtpOutbox outbox(endpoint, QString(DovecotServer::password));
        for (const QString &path : filesIn(args[2], QStringLiteral("*.bin"))) {
            Draft draft;
            draft.to = QString::fromLatin1(recipient);
            draft.from = QStringLiteral("Bench <%1>").arg(QString::fromLatin1(sender));
            draft.subject = QFileInfo(path).fileName();
            draft.attachmentPaths << path;
            outbox.file(draft, TransferMonitor::none());
        }
        return 0;
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_smtp: %s\n", failure.what());
        return 1;
    }
}

// The attachment that fills a message of the size: base64 lines of 76 + CRLF.
std::int64_t attachmentFor(std::int64_t messageBytes)
{
    return messageBytes * 3 / 4 * 76 / 78;
}

double loadAverage()
{
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args[1] == QLatin1String("--send-smtp"))
        return childMain(args);

    std::int64_t megabytes = 1024;
    std::int64_t messageMebibytes = 10;
    std::int64_t bigMebibytes = 2048;
    int rounds = 1;
    QString parent = QStringLiteral("/var/tmp");
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--megabytes"))
            megabytes = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--message-mebibytes"))
            messageMebibytes = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--big-mebibytes"))
            bigMebibytes = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--folder"))
            parent = args[i + 1];
    }
    QTemporaryDir work(parent + QStringLiteral("/ferrymail-bench-smtp-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "bench_smtp: cannot make a folder in %s\n", qPrintable(parent));
        return 1;
    }
    try {
        const int count = int(std::max<std::int64_t>(1, megabytes / messageMebibytes));
        const QString sources = work.filePath(QStringLiteral("sources"));
        const QString composed = work.filePath(QStringLiteral("composed"));
        const QString big = work.filePath(QStringLiteral("big"));
        QDir().mkpath(sources);
        QDir().mkpath(composed);
        QDir().mkpath(big);
        std::int64_t messageBytes = 0;
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("part-%1").arg(i, 4, 10, QLatin1Char('0'));
            const QString source = sources + QLatin1Char('/') + name + QStringLiteral(".bin");
            writeRandomFile(source, attachmentFor(messageMebibytes * mebibyte), quint32(i + 1));
            // The same message for curl, composed as the SMTP outbox composes it (CRLF).
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
        if (bigMebibytes > 0)
            writeRandomFile(big + QStringLiteral("/whole.bin"),
                            attachmentFor(bigMebibytes * mebibyte), 4242);
        ::sync();
        std::printf("%d messages of %.1f MiB, %.1f MiB in all\n", count,
                    double(messageBytes) / count / mebibyte, double(messageBytes) / mebibyte);

        DovecotOptions options;
        options.submission = true;
        DovecotServer server(options);
        const std::string port = std::to_string(server.submissionPort());
        const std::string ca = server.caFile().toStdString();
        const std::string credentials =
            std::string(DovecotServer::user) + ':' + DovecotServer::password;
        const std::string self = QCoreApplication::applicationFilePath().toStdString();
        const std::string url = "smtp://127.0.0.1:" + port;

        ChildRun ours;
        ChildRun curl;
        const auto add = [](ChildRun &total, const ChildRun &one) {
            total.seconds += one.seconds;
            total.cpuSeconds += one.cpuSeconds;
            total.peakKib = std::max(total.peakKib, one.peakKib);
            total.status = std::max(total.status, one.status);
        };
        const double loadBefore = loadAverage();
        for (int round = 0; round < rounds; ++round) {
            add(ours, runChild({self, "--send-smtp", sources.toStdString(), port, ca}));
            for (const QString &message : filesIn(composed, QStringLiteral("*.eml")))
                add(curl, runChild({"curl", "-sS", "--ssl-reqd", "--cacert", ca, "-u", credentials,
                                    "--mail-from", sender, "--mail-rcpt", recipient,
                                    "--upload-file", message.toStdString(), url}));
        }
        const double loadAfter = loadAverage();
        messageBytes *= rounds;
        ChildRun whole;
        if (bigMebibytes > 0)
            whole = runChild({self, "--send-smtp", big.toStdString(), port, ca});
        if (ours.status != 0 || curl.status != 0 || whole.status != 0) {
            std::fprintf(stderr, "bench_smtp: a run failed (smtp %d, curl %d, big %d)\n%s\n",
                         ours.status, curl.status, whole.status,
                         qPrintable(server.log().right(4000)));
            return 1;
        }
        const auto line = [&](const char *name, const ChildRun &run, std::int64_t bytes) {
            std::printf("%-16s %.2f s (cpu %.2f s), %.0f MB/s, peak memory %.1f MiB\n", name,
                        run.seconds, run.cpuSeconds, double(bytes) / 1e6 / run.seconds,
                        double(run.peakKib) / 1024);
        };
        line("smtp outbox:", ours, messageBytes);
        line("curl one by one:", curl, messageBytes);
        if (bigMebibytes > 0)
            line("one big message:", whole,
                 std::int64_t(QFileInfo(big + QStringLiteral("/whole.bin")).size()) * 78 / 76 * 4 /
                     3);
        std::printf("load average (1 min) before %.2f, after %.2f\n", loadBefore, loadAfter);
        std::printf("ratio smtp outbox/curl wall time: %.2f (target <= 1.1)\n",
                    ours.seconds / curl.seconds);
        std::printf("smtp outbox peak memory: %.1f MiB, with one %lld MiB message %.1f MiB "
                    "(target < 64)\n",
                    double(ours.peakKib) / 1024, static_cast<long long>(bigMebibytes),
                    double(whole.peakKib) / 1024);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "bench_smtp: %s\n", error.what());
        return 1;
    }
    return 0;
}
