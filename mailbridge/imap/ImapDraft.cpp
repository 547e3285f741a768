#include "mailbridge/imap/ImapDraft.h"

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/imap/AttachmentProgress.h"
#include "mailbridge/imap/ImapSession.h"
#include "mailbridge/imap/PrivateTempFile.h"

#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

ImapDraft::ImapDraft(std::function<std::shared_ptr<ImapSession>()> session)
    : m_session(std::move(session))
{
}

namespace {

class CancelOnlyMonitor final : public TransferMonitor
{
public:
    explicit CancelOnlyMonitor(TransferMonitor &monitor) : m_monitor(monitor) {}
    void attachmentStarted(const QString &) override {}
    void attachmentBytes(std::int64_t) override {}
    bool cancelRequested() const override { return m_monitor.cancelRequested(); }

private:
    TransferMonitor &m_monitor;
};

} // namespace

void ImapDraft::file(const MessageContent &content, TransferMonitor &monitor)
{
    const QString description = QStringLiteral("the message \"%1\"").arg(content.subject);
    if (monitor.cancelRequested())
        throw SendCancelled();
    const std::shared_ptr<ImapSession> session = m_session();

    const PrivateTempFile composed = createPrivateTempFile();
    // The upload is the slow part and reports the bytes; composing only obeys a cancel.
    CancelOnlyMonitor composing(monitor);
    writeMessage(content, composed.fd.get(), composed.path, composing);
    struct stat status = {};
    if (::fstat(composed.fd.get(), &status) != 0)
        throw Failure(describeSystemError(
            QStringLiteral("Cannot measure the temporary file %1").arg(composed.path), errno));
    const auto size = std::uint64_t(status.st_size);
    if (monitor.cancelRequested())
        throw SendCancelled();

    if (const auto limit = session->appendLimit(); limit && size > *limit)
        throw Failure(QStringLiteral("Cannot file %1: it is %2 bytes and the server takes at "
                                     "most %3 bytes per message. Nothing of it was sent; lower "
                                     "the size limit per message.")
                          .arg(description)
                          .arg(size)
                          .arg(*limit));

    std::vector<AttachmentProgress::File> files;
    for (const Attachment &attachment : content.attachments)
        files.push_back({attachment.path, QFileInfo(attachment.path).size()});
    AttachmentProgress progress(std::move(files), size, monitor);
    session->appendDraft(composed.fd.get(), size, description, [&](std::uint64_t sent) {
        progress.messageSent(sent);
        return !monitor.cancelRequested();
    });
    progress.finish();
}

QString ImapDraft::filedPlace() const
{
    return QStringLiteral("the drafts folder");
}
