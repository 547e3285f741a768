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

QString ImapDraft::Subject() const
{
    return m_content.subject;
}

void ImapDraft::setSubject(const QString &subject)
{
    checkUnsent();
    m_content.subject = subject;
}

void ImapDraft::setTo(const QString &recipients)
{
    checkUnsent();
    m_content.to = recipients;
}

void ImapDraft::setFrom(const QString &sender)
{
    checkUnsent();
    m_content.from = sender;
}

void ImapDraft::setDeleteAfterSubmit(bool)
{
    checkUnsent(); // no effect: the person sends the draft from their mail client
}

void ImapDraft::addAttachment(const QString &sourcePath)
{
    checkUnsent();
    m_content.attachments.push_back(inspectAttachment(sourcePath));
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

void ImapDraft::Send(TransferMonitor &monitor)
{
    checkUnsent();
    const QString description = QStringLiteral("the message \"%1\"").arg(m_content.subject);
    if (monitor.cancelRequested())
        throw SendCancelled();
    const std::shared_ptr<ImapSession> session = m_session();

    const PrivateTempFile file = createPrivateTempFile();
    // The upload is the slow part and reports the bytes; composing only obeys a cancel.
    CancelOnlyMonitor composing(monitor);
    writeMessage(m_content, file.fd.get(), file.path, composing);
    struct stat status = {};
    if (::fstat(file.fd.get(), &status) != 0)
        throw Failure(describeSystemError(
            QStringLiteral("Cannot measure the temporary file %1").arg(file.path), errno));
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
    for (const Attachment &attachment : m_content.attachments)
        files.push_back({attachment.path, QFileInfo(attachment.path).size()});
    AttachmentProgress progress(std::move(files), size, monitor);
    session->appendDraft(file.fd.get(), size, description, [&](std::uint64_t sent) {
        progress.messageSent(sent);
        return !monitor.cancelRequested();
    });
    m_sent = true;
    progress.finish();
}

void ImapDraft::checkUnsent() const
{
    if (m_sent)
        throw Failure(QStringLiteral("The message \"%1\" was already filed as a draft")
                          .arg(m_content.subject));
}
