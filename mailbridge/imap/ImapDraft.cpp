#include "mailbridge/imap/ImapDraft.h"

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"
#include "mailbridge/compose/MessageWriter.h"
#include "mailbridge/imap/ImapSession.h"

ImapDraft::ImapDraft(std::function<std::shared_ptr<ImapSession>()> session)
    : m_session(std::move(session))
{
}

namespace {

// While a message goes, the session also obeys the Send's monitor; afterwards only what
// it obeyed before.
class MonitorCancels
{
public:
    MonitorCancels(ImapSession &session, const TransferMonitor &monitor)
        : m_session(session), m_before(session.cancelCheck())
    {
        session.setCancelCheck([&monitor, before = m_before] {
            return monitor.cancelRequested() || (before && before());
        });
    }
    ~MonitorCancels() { m_session.setCancelCheck(m_before); }
    MonitorCancels(const MonitorCancels &) = delete;
    MonitorCancels &operator=(const MonitorCancels &) = delete;

private:
    ImapSession &m_session;
    std::function<bool()> m_before;
};

} // namespace

void ImapDraft::file(const MessageContent &content, TransferMonitor &monitor,
                     const std::optional<Sha256Digest> &sameAs)
{
    if (monitor.cancelRequested())
        throw SendCancelled();
    const std::shared_ptr<ImapSession> session = m_session();
    const MonitorCancels cancels(*session, monitor);
    // The wire needs CRLF; the size is that of the CRLF form, known before a byte is read.
    const std::uint64_t size = composedSize(content, LineEnding::CrLf);
    session->append(size, content.stamp.messageId.toUtf8(),
                    QStringLiteral("the message \"%1\"").arg(content.subject),
                    [&](const ImapSession::MessageSink &sink) {
                        if (!sameAs) {
                            streamMessage(content, LineEnding::CrLf, monitor, sink);
                            return;
                        }
                        // Thrown before the message's end reaches the server, which then
                        // drops what it got.
                        Sha256 composed;
                        streamMessage(content, LineEnding::CrLf, monitor,
                                      [&](const char *data, std::size_t length) {
                                          composed.add(data, length);
                                          sink(data, length);
                                      });
                        if (composed.finish() != *sameAs)
                            throw Failure(QStringLiteral(
                                "A file of the message changed after it was sent: the copy "
                                "would differ from what went, so none was kept."));
                    });
}
