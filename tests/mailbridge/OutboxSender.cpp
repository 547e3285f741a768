// Sends numbered messages into an outbox, for tests that need another process at work:
// outbox_sender <outbox folder> <count> <subject prefix> <attachment>
#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/maildir/MaildirOutbox.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: outbox_sender <outbox> <count> <prefix> <attachment>\n");
        return 2;
    }
    try {
        MaildirOutbox outbox(args[1]);
        const int count = args[2].toInt();
        for (int i = 0; i < count; ++i) {
            Draft draft;
            draft.subject = QStringLiteral("%1 %2").arg(args[3]).arg(i);
            draft.to = QStringLiteral("someone@example.org");
            draft.attachmentPaths << args[4];
            outbox.file(draft, TransferMonitor::none());
        }
    } catch (const Failure &failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    return 0;
}
