// Sending a large batch into a Maildir outbox, against two references measured in the same
// run: coreutils base64 of the same bytes into one file synced to disk, and the floor of
// writing and syncing as many bytes as the outbox got (dd from /dev/zero, conv=fsync). The
// sources come from the page cache; every run ends with its output on disk. The Send runs
// twice a round, reporting to nobody and to a monitor that counts, for the cost of progress.
//
// Each round also sends with Manifest=false, so that the cost of the text part and the
// checksums (hashed from the same reads, on a thread of their own) shows as a ratio of two
// runs of the same round. --previous names a bench_outbox built from earlier code: its Send
// runs in every round too, and the ratios put the two side by side. The order of the Sends
// turns each round, so that no kind always finds the disk fresh.
//
// The checksums' floor is measured in the same round: the SHA-256 of as many bytes, from
// memory, on one thread with nothing else to do (ChecksumsAlone.h). Against the Send without
// checksums it says how much of a core they need for the Send's whole length: they can hide
// only in a core that the Send leaves that idle.
// --cold drops the sources from the page cache before every run, as for files not opened
// lately, which come from the disk.
//
// bench_outbox [--megabytes N] [--rounds N] [--folder DIR] [--previous PROGRAM] [--cold]
//   (defaults: 1100 MiB, 3, /var/tmp, none, sources in the page cache)

#include "ChecksumsAlone.h"
#include "batch/BatchSender.h"
#include "batch/SendRequest.h"
#include "common/Failure.h"
#include "filelist/LocalFileSystem.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "support/ChildRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t mebibyte = 1024 * 1024;

// xoshiro256**: random bytes far faster than the disk takes them.
class FastRandom
{
public:
    explicit FastRandom(std::uint64_t seed)
    {
        std::seed_seq sequence{seed};
        std::uint32_t words[8];
        sequence.generate(words, words + 8);
        for (int i = 0; i < 4; ++i)
            m_state[i] = std::uint64_t(words[2 * i]) << 32 | words[2 * i + 1];
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotate(m_state[1] * 5, 7) * 9;
        const std::uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = rotate(m_state[3], 45);
        return result;
    }

    void fill(std::vector<std::uint64_t> &words)
    {
        for (std::uint64_t &word : words)
            word = next();
    }

private:
    static std::uint64_t rotate(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t m_state[4];
};

// The work folder, removed however the benchmark ends.
QString workFolder;

[[noreturn]] void die(const char *what)
{
    std::fprintf(stderr, "bench_outbox: %s: %s\n", what, std::strerror(errno));
    if (!workFolder.isEmpty())
        QDir(workFolder).removeRecursively();
    std::exit(1);
}

void writeRandomFile(const QString &path, std::int64_t size, FastRandom &random)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        die("create a source file");
    std::vector<std::uint64_t> words(mebibyte / 8);
    for (std::int64_t left = size; left > 0;) {
        random.fill(words);
        const std::size_t n = std::size_t(std::min<std::int64_t>(left, mebibyte));
        if (::write(fd, words.data(), n) != ssize_t(n))
            die("write a source file");
        left -= std::int64_t(n);
    }
    ::close(fd);
}

// A few large files and many small ones, interleaved as a folder listing would have them.
QStringList makeSources(const QString &folder, std::int64_t totalBytes, std::int64_t &made)
{
    FastRandom random(20240601);
    std::mt19937_64 sizes(7);
    const std::int64_t largeSizes[] = {300 * mebibyte, 256 * mebibyte, 200 * mebibyte};
    QStringList names;
    made = 0;
    int large = 0;
    for (int i = 0; made < totalBytes; ++i) {
        std::int64_t size;
        if (i % 100 == 10 && large < 3)
            size = largeSizes[large++];
        else
            size = 100 * 1024 + std::int64_t(sizes() % (2 * mebibyte - 100 * 1024));
        const QString name = QStringLiteral("file-%1.bin").arg(i, 5, 10, QLatin1Char('0'));
        writeRandomFile(folder + QLatin1Char('/') + name, size, random);
        names << name;
        made += size;
    }
    ::sync();
    return names;
}

// Counts what a Send reports, as a progress display would, and is asked between blocks.
class CountingMonitor final : public TransferMonitor
{
public:
    void attachmentStarted(const QString &) override { ++m_files; }
    void attachmentBytes(std::int64_t n) override { m_bytes += n; }
    bool cancelRequested() const override { return m_cancel.load(std::memory_order_relaxed); }

    std::int64_t bytes() const { return m_bytes; }

private:
    std::atomic<std::int64_t> m_bytes{0};
    std::atomic<int> m_files{0};
    std::atomic<bool> m_cancel{false};
};

// An outbox that files with the given monitor, whatever its caller passes.
class MonitoredOutbox final : public Outbox
{
public:
    MonitoredOutbox(Outbox &outbox, TransferMonitor &monitor) : m_outbox(outbox), m_monitor(monitor)
    {
    }

    void file(const Draft &draft, TransferMonitor &) override { m_outbox.file(draft, m_monitor); }
    QString destination() const override { return m_outbox.destination(); }
    const MessageRules &messageRules() const override { return m_outbox.messageRules(); }
    std::uint64_t storedSize(const Draft &draft) const override
    {
        return m_outbox.storedSize(draft);
    }

private:
    Outbox &m_outbox;
    TransferMonitor &m_monitor;
};

// The measured part, run in a child of its own: the batch into a fresh outbox.
int sendBatchInto(const QString &sources, const QString &outboxFolder, bool counting, bool manifest)
{
    SendRequest request;
    request.folder = sources;
    request.manifest = manifest;
    std::int64_t inputBytes = 0;
    for (const QFileInfo &file : QDir(sources).entryInfoList(QDir::Files, QDir::Name)) {
        request.entries.push_back(FileLine{file.fileName(), true});
        inputBytes += file.size();
    }
    request.sizeText = QStringLiteral("10240");
    request.recipient = QStringLiteral("archive@example.org");
    request.subjectPrefix = QStringLiteral("Benchmark ");
    request.sender = QStringLiteral("Bench <bench@example.org>");
    try {
        MaildirOutbox outbox(outboxFolder);
        LocalFileSystem files;
        if (!counting) {
            sendBatch(request, outbox, files);
            return 0;
        }
        CountingMonitor monitor;
        MonitoredOutbox monitored(outbox, monitor);
        sendBatch(request, monitored, files);
        if (monitor.bytes() != inputBytes) {
            std::fprintf(stderr, "bench_outbox: the monitor counted %lld bytes of %lld\n",
                         static_cast<long long>(monitor.bytes()),
                         static_cast<long long>(inputBytes));
            return 1;
        }
    } catch (const Failure &failure) {
        std::fprintf(stderr, "bench_outbox: %s\n", failure.what());
        return 1;
    }
    return 0;
}

std::int64_t folderBytes(const QString &folder, int &count)
{
    std::int64_t total = 0;
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    count = int(files.size());
    for (const QFileInfo &file : files)
        total += file.size();
    return total;
}

// Where the kernel hands freed memory back to a virtual machine's host, what it writes next
// into fresh pages is slowed by the host giving them back, by a varying amount: the reason
// to read these runs' times with care. -1 where the kernel does not say.
long long hostReportedKib()
{
    QFile file(QStringLiteral("/sys/module/page_reporting/parameters/reported_kib"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const long long kib = file.readAll().trimmed().toLongLong(&ok);
    return ok ? kib : -1;
}

double megabytesPerSecond(std::int64_t bytes, double seconds)
{
    return double(bytes) / 1e6 / seconds;
}

// The disk here is shared and its speed swings between runs; the median of the rounds'
// ratios is steadier than the ratio of the totals, so both are shown.
double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == QLatin1String("--send"))
        return sendBatchInto(args[2], args[3], args.contains(QStringLiteral("--counting")),
                             !args.contains(QStringLiteral("--no-manifest")));
    if (args.size() >= 3 && args[1] == QLatin1String("--hash-only")) {
        try {
            hashLikeFilesAlone(args[2]);
        } catch (const Failure &failure) {
            std::fprintf(stderr, "bench_outbox: %s\n", failure.what());
            return 1;
        }
        return 0;
    }

    std::int64_t megabytes = 1100;
    int rounds = 3;
    QString parent = QStringLiteral("/var/tmp");
    std::string previous;
    bool cold = false;
    for (qsizetype i = 1; i < args.size(); i += 2) {
        if (args[i] == QLatin1String("--cold")) {
            cold = true;
            --i; // a flag, without a value
        } else if (i + 1 == args.size())
            break;
        else if (args[i] == QLatin1String("--megabytes"))
            megabytes = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--rounds"))
            rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--folder"))
            parent = args[i + 1];
        else if (args[i] == QLatin1String("--previous"))
            previous = QFileInfo(args[i + 1]).absoluteFilePath().toStdString();
    }

    QByteArray pattern = QFile::encodeName(parent) + "/ferrymail-bench-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        die("make the work folder");
    const QString work = workFolder = QFile::decodeName(pattern);
    const QString sources = work + QStringLiteral("/sources");
    const QString outbox = work + QStringLiteral("/Outbox");
    const QString reference = work + QStringLiteral("/reference.b64");
    QDir().mkpath(sources);

    std::int64_t inputBytes = 0;
    std::printf("making %lld MiB of random files in %s\n", static_cast<long long>(megabytes),
                qPrintable(work));
    const QStringList names = makeSources(sources, megabytes * mebibyte, inputBytes);
    std::printf("%lld files, %lld bytes; %d rounds, each run starting from a synced disk, its "
                "sources %s\n",
                static_cast<long long>(names.size()), static_cast<long long>(inputBytes), rounds,
                cold ? "read from the disk" : "in the page cache");
    const auto prepareSources = [&] {
        if (cold)
            dropFromPageCache(sources);
    };
    const long long reportedBefore = hostReportedKib();

    const std::string self = QCoreApplication::applicationFilePath().toStdString();
    std::vector<std::string> base64 = {
        "/bin/sh", "-c", "cd \"$1\" && shift && cat -- \"$@\" | base64 > \"$0\" && sync \"$0\"",
        reference.toStdString(), sources.toStdString()};
    for (const QString &name : names)
        base64.push_back(name.toStdString());

    // Alternating rounds even out the disk's moods; the totals make the ratios.
    const std::vector<std::string> send = {self, "--send", sources.toStdString(),
                                           outbox.toStdString()};
    std::vector<std::string> sendCounting = send;
    sendCounting.push_back("--counting");
    std::vector<std::string> sendBare = send;
    sendBare.push_back("--no-manifest");
    const std::vector<std::string> sendPrevious = {previous, "--send", sources.toStdString(),
                                                   outbox.toStdString()};
    const std::vector<std::string> hashOnly = {self, "--hash-only", sources.toStdString()};
    double sendSeconds = 0;
    double base64Seconds = 0;
    double floorSeconds = 0;
    std::vector<double> floorRatios, base64Ratios, countingWallRatios, countingCpuRatios;
    // Manifest=true against false, the previous code against false, and true against it.
    std::vector<double> manifestWallRatios, manifestCpuRatios, previousWallRatios,
        previousCpuRatios, againstPreviousWallRatios, againstPreviousCpuRatios, hashAloneRatios;
    long peakKib = 0;
    for (int round = 1; round <= rounds; ++round) {
        const auto sendOnce = [&](const std::vector<std::string> &command, const char *label,
                                  std::int64_t &outboxBytes) {
            prepareSources();
            const ChildRun run = runChild(command);
            int messages = 0;
            outboxBytes = folderBytes(outbox + QStringLiteral("/new"), messages);
            QDir(outbox).removeRecursively();
            ::sync();
            if (run.status == 0)
                std::printf("round %d %s: %d messages, %lld bytes in %.2f s (%.2f s CPU), "
                            "%.0f MB/s, peak memory %.1f MiB\n",
                            round, label, messages, static_cast<long long>(outboxBytes),
                            run.seconds, run.cpuSeconds,
                            megabytesPerSecond(inputBytes, run.seconds),
                            double(run.peakKib) / 1024);
            return run;
        };
        std::int64_t outboxBytes = 0;
        std::int64_t otherBytes = 0;
        ChildRun plain, counted, bare, earlier;
        struct Kind
        {
            const std::vector<std::string> *command;
            const char *label;
            ChildRun *run;
            std::int64_t *bytes;
        };
        std::vector<Kind> kinds = {
            {&send, "outbox", &plain, &outboxBytes},
            {&sendBare, "outbox, Manifest=false", &bare, &otherBytes},
            {&sendCounting, "outbox, counting monitor", &counted, &otherBytes}};
        if (!previous.empty())
            kinds.push_back({&sendPrevious, "outbox, previous code", &earlier, &otherBytes});
        std::rotate(kinds.begin(), kinds.begin() + (round - 1) % int(kinds.size()), kinds.end());
        for (const Kind &kind : kinds)
            *kind.run = sendOnce(*kind.command, kind.label, *kind.bytes);

        const ChildRun hashed = runChild(hashOnly);
        prepareSources();
        const ChildRun coreutils = runChild(base64);
        const std::int64_t referenceBytes = QFileInfo(reference).size();
        QFile::remove(reference);
        ::sync();

        // The floor: as many bytes as the outbox got, written and synced, nothing else.
        const std::string blocks =
            "count=" + std::to_string((outboxBytes + mebibyte - 1) / mebibyte);
        const ChildRun floor = runChild({"/bin/dd", "if=/dev/zero", "of=" + reference.toStdString(),
                                         "bs=1M", blocks, "conv=fsync", "status=none"});
        QFile::remove(reference);
        ::sync();

        if (plain.status != 0 || counted.status != 0 || bare.status != 0 || earlier.status != 0 ||
            hashed.status != 0 || coreutils.status != 0 || floor.status != 0) {
            std::fprintf(stderr,
                         "bench_outbox: a run failed (outbox %d, counting %d, Manifest=false %d, "
                         "previous %d, checksums alone %d, base64 %d, dd %d)\n",
                         plain.status, counted.status, bare.status, earlier.status, hashed.status,
                         coreutils.status, floor.status);
            QDir(work).removeRecursively();
            return 1;
        }
        std::printf("round %d checksums alone: %.2f s (%.2f s CPU), %.0f MB/s\n", round,
                    hashed.seconds, hashed.cpuSeconds,
                    megabytesPerSecond(inputBytes, hashed.seconds));
        std::printf("round %d base64: %lld bytes in %.2f s (%.2f s CPU), %.0f MB/s\n", round,
                    static_cast<long long>(referenceBytes), coreutils.seconds, coreutils.cpuSeconds,
                    megabytesPerSecond(inputBytes, coreutils.seconds));
        std::printf("round %d dd floor: %s MiB in %.2f s\n", round, blocks.c_str() + 6,
                    floor.seconds);
        sendSeconds += plain.seconds;
        base64Seconds += coreutils.seconds;
        floorSeconds += floor.seconds;
        floorRatios.push_back(plain.seconds / floor.seconds);
        base64Ratios.push_back(plain.seconds / coreutils.seconds);
        countingWallRatios.push_back(counted.seconds / plain.seconds);
        countingCpuRatios.push_back(counted.cpuSeconds / plain.cpuSeconds);
        manifestWallRatios.push_back(plain.seconds / bare.seconds);
        manifestCpuRatios.push_back(plain.cpuSeconds / bare.cpuSeconds);
        hashAloneRatios.push_back(hashed.seconds / bare.seconds);
        if (!previous.empty()) {
            previousWallRatios.push_back(earlier.seconds / bare.seconds);
            previousCpuRatios.push_back(earlier.cpuSeconds / bare.cpuSeconds);
            againstPreviousWallRatios.push_back(plain.seconds / earlier.seconds);
            againstPreviousCpuRatios.push_back(plain.cpuSeconds / earlier.cpuSeconds);
        }
        peakKib = std::max({peakKib, plain.peakKib, counted.peakKib, bare.peakKib});
    }
    QDir(work).removeRecursively();

    std::printf("outbox: %.0f MB/s of files\n",
                megabytesPerSecond(inputBytes * rounds, sendSeconds));
    std::printf("base64: %.0f MB/s of files\n",
                megabytesPerSecond(inputBytes * rounds, base64Seconds));
    std::printf("peak memory of the Send: %.1f MiB (target < 64)\n", double(peakKib) / 1024);
    std::printf("progress reporting cost, counting monitor against none: %+.1f %% wall time, "
                "%+.1f %% CPU time (medians; target < 2)\n",
                (median(countingWallRatios) - 1) * 100, (median(countingCpuRatios) - 1) * 100);
    std::printf("ratio outbox/base64 wall time: %.2f (median %.2f)\n", sendSeconds / base64Seconds,
                median(base64Ratios));
    std::printf("ratio outbox/floor wall time: %.2f (median %.2f; target <= 1.2)%s\n",
                sendSeconds / floorSeconds, median(floorRatios),
                cold ? "; the floor only writes, the Send here also reads its files from the disk"
                     : "");
    const auto ratios = [](const char *what, const std::vector<double> &wall,
                           const std::vector<double> &cpu, const char *target) {
        std::printf("ratio %s: wall time median %.3f (", what, median(wall));
        for (std::size_t i = 0; i < wall.size(); ++i)
            std::printf("%s%.3f", i ? " " : "", wall[i]);
        std::printf("), CPU time median %.3f%s\n", median(cpu), target);
    };
    ratios("Manifest=true/Manifest=false", manifestWallRatios, manifestCpuRatios,
           "; target: wall time <= 1.05");
    std::printf("ratio checksums alone/Manifest=false wall time: median %.3f (the share of one "
                "core the checksums need for the Send's whole length)\n",
                median(hashAloneRatios));
    if (!previous.empty()) {
        ratios("previous code/Manifest=false", previousWallRatios, previousCpuRatios, "");
        ratios("Manifest=true/previous code", againstPreviousWallRatios, againstPreviousCpuRatios,
               "");
    }
    const long long reportedAfter = hostReportedKib();
    if (reportedBefore >= 0 && reportedAfter > reportedBefore)
        std::printf("the host took back %lld MiB of freed memory during the runs: writes into "
                    "fresh pages cost more, by a varying amount\n",
                    (reportedAfter - reportedBefore) / 1024);
    return 0;
}
