// A server that answers LIST with millions of untagged lines, on loopback: with the session's
// bounds, the command must end with a clear error; with the count and byte bounds lifted, the
// flood must go through. Either way the peak memory (VmHWM) must stay under 256 MiB and the
// run end within 3 minutes.
//
// bench_imap_flood [--lines N]   (default: 20,000,000)

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapSession.h"
#include "support/PeakMemory.h"
#include "support/ScriptedImapPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void run(const char *name, std::uint64_t lines, const ImapLimits &limits)
{
    ImapPeerScript script;
    script.floodTo = "LIST";
    script.floodLines = lines;
    ScriptedImapPeer peer(script);
    ImapEndpoint endpoint;
    endpoint.host = QStringLiteral("127.0.0.1");
    endpoint.port = peer.port();
    endpoint.security = ImapSecurity::None;
    endpoint.user = QStringLiteral("me");
    QElapsedTimer timer;
    timer.start();
    QString outcome = QStringLiteral("got through");
    try {
        ImapSession session(endpoint, ImapCredentials{QStringLiteral("secret"), nullptr}, limits);
        session.folder();
    } catch (const Failure &failure) {
        outcome = failure.description();
    }
    std::printf("%s: %llu lines, %.1f s, peak %lld MiB so far\n  %s\n", name,
                static_cast<unsigned long long>(lines), double(timer.elapsed()) / 1000,
                peakResidentBytes() >> 20, qPrintable(outcome));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::uint64_t lines = 20000000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--lines") == 0)
            lines = std::strtoull(argv[i + 1], nullptr, 10);
    run("bounded", lines, ImapLimits());
    ImapLimits lifted;
    lifted.untaggedPerCommand = INT_MAX;
    lifted.bytesPerCommand = SIZE_MAX;
    run("count and bytes unbounded", lines, lifted);
    const long long peak = peakResidentBytes();
    std::printf("peak memory: %lld MiB (target < 256)\n", peak >> 20);
    return peak < (256LL << 20) ? 0 : 1;
}
