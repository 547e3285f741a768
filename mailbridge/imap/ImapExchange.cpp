#include "mailbridge/imap/ImapExchange.h"

#include "mailbridge/TransferMonitor.h"
#include "mailbridge/imap/ImapFailures.h"
#include "mailbridge/imap/MailboxName.h"

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto logoutBound = std::chrono::seconds(2);

// Printable 7-bit text goes quoted; anything else, as a literal. Line breaks and NUL never
// get here (the session refuses them before it connects).
bool quotable(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

bool kept(const ImapResponse &response, const QList<QByteArray> &keep)
{
    if (response.status.isEmpty())
        return keep.contains(response.dataName());
    return keep.contains(response.codeName());
}

} // namespace

ImapCommand &ImapCommand::operator<<(const QByteArray &text)
{
    if (literal.isEmpty() || literal.back()) {
        parts.push_back(text);
        literal.push_back(false);
    } else {
        parts.back() += text;
    }
    return *this;
}

ImapCommand &ImapCommand::string(const QByteArray &text)
{
    if (quotable(text))
        return *this << imapQuoted(text);
    parts.push_back(text);
    literal.push_back(true);
    return *this;
}

ImapExchange::ImapExchange(const ImapEndpoint &endpoint, ImapLimits limits)
    : m_endpoint(endpoint), m_limits(limits),
      m_connection(endpoint, limits.silence, limits.deadline), m_reader(limits.read)
{
}

QList<ImapResponse> ImapExchange::open(const QString &doing)
{
    m_reader.reset();
    QList<ImapResponse> said;
    for (const QByteArray &line : m_connection.open(doing))
        if (auto response = parseImapResponse(line))
            said.push_back(std::move(*response));
    return said;
}

void ImapExchange::close()
{
    m_connection.close();
    m_reader.reset();
}

bool ImapExchange::stillOpen()
{
    if (!m_connection.isOpen())
        return false;
    // Bounded: a server that keeps talking unasked is not listened to for long.
    for (int reads = 0; reads < 64; ++reads) {
        bool ended = false;
        const QByteArray came = m_connection.receiveWaiting(ended);
        if (ended) {
            close();
            return false;
        }
        if (came.isEmpty())
            return true;
        m_reader.feed(came.constData(), std::size_t(came.size()));
        try {
            while (const auto response = m_reader.next())
                if (response->kind == ImapResponse::Untagged && response->status == "BYE") {
                    close(); // an idle timeout, a restart
                    return false;
                }
        } catch (const ImapReadError &) {
            close();
            return false;
        }
    }
    close();
    return false;
}

QByteArray ImapExchange::begin()
{
    m_untagged = 0;
    m_bytes = 0;
    startDeadline();
    return 'F' + QByteArray::number(++m_tag).rightJustified(4, '0');
}

void ImapExchange::startDeadline()
{
    m_connection.setDeadline(Clock::now() + m_limits.deadline,
                             std::chrono::duration_cast<std::chrono::seconds>(m_limits.deadline));
}

void ImapExchange::send(const QByteArray &bytes, const QString &doing)
{
    m_connection.send(bytes.constData(), std::size_t(bytes.size()), doing);
}

ImapResponse ImapExchange::read(const QString &doing)
{
    for (;;) {
        try {
            if (auto response = m_reader.next()) {
                if (response->kind == ImapResponse::Untagged && response->status == "BYE")
                    m_connection.setLastWords(response->statusLine());
                return std::move(*response);
            }
        } catch (const ImapReadError &error) {
            close();
            throw ImapBroken(
                imapFailure::unreadable(m_endpoint, doing, QString::fromStdString(error.what())));
        }
        const QByteArray came = m_connection.receive(doing);
        m_bytes += std::size_t(came.size());
        if (m_bytes > m_limits.bytesPerCommand) {
            close();
            throw ImapBroken(imapFailure::unreadable(
                m_endpoint, doing,
                QStringLiteral("more than %1 bytes in answer to one command")
                    .arg(m_limits.bytesPerCommand)));
        }
        m_reader.feed(came.constData(), std::size_t(came.size()));
    }
}

ImapResult ImapExchange::readTagged(const QByteArray &tag, const QList<QByteArray> &keep,
                                    const QString &doing)
{
    ImapResult result;
    for (;;) {
        ImapResponse response = read(doing);
        if (response.kind == ImapResponse::Tagged && response.tag == tag) {
            result.answer = std::move(response);
            return result;
        }
        if (++m_untagged > m_limits.untaggedPerCommand) {
            close();
            throw ImapBroken(
                imapFailure::unreadable(m_endpoint, doing,
                                        QStringLiteral("more than %1 responses to one command")
                                            .arg(m_limits.untaggedPerCommand)));
        }
        if (response.kind == ImapResponse::Untagged && kept(response, keep))
            result.untagged.push_back(std::move(response));
    }
}

std::optional<ImapResult> ImapExchange::waitForGoAhead(const QByteArray &tag, const QString &doing)
{
    // Untagged data may come first at any time; the refusal is tagged.
    for (;;) {
        ImapResponse response = read(doing);
        if (response.kind == ImapResponse::Continuation)
            return std::nullopt;
        if (response.kind == ImapResponse::Tagged && response.tag == tag)
            return ImapResult{std::move(response), {}};
        if (++m_untagged > m_limits.untaggedPerCommand) {
            close();
            throw ImapBroken(
                imapFailure::unreadable(m_endpoint, doing,
                                        QStringLiteral("more than %1 responses to one command")
                                            .arg(m_limits.untaggedPerCommand)));
        }
    }
}

std::optional<ImapResult> ImapExchange::earlyRefusal(const QByteArray &tag)
{
    const QByteArray said = m_connection.takeLeftover();
    ImapReader reader(m_limits.read);
    reader.feed(said.constData(), std::size_t(said.size()));
    try {
        while (auto response = reader.next())
            if (response->kind == ImapResponse::Tagged && response->tag == tag &&
                response->status != "OK")
                return ImapResult{std::move(*response), {}};
    } catch (const ImapReadError &) {
    }
    return std::nullopt;
}

ImapResult ImapExchange::run(const ImapCommand &command, const QList<QByteArray> &keep,
                             const QString &doing)
{
    const QByteArray tag = begin();
    QByteArray pending = tag + ' ';
    try {
        for (qsizetype i = 0; i < command.parts.size(); ++i) {
            if (!command.literal[i]) {
                pending += command.parts[i];
                continue;
            }
            pending += '{' + QByteArray::number(command.parts[i].size()) +
                       (m_literalPlus ? "+" : "") + "}\r\n";
            send(pending, doing);
            pending.clear();
            if (!m_literalPlus)
                if (auto refusal = waitForGoAhead(tag, doing))
                    return std::move(*refusal);
            send(command.parts[i], doing);
        }
        send(pending + "\r\n", doing);
    } catch (const ImapBroken &) {
        if (auto refusal = earlyRefusal(tag))
            return std::move(*refusal);
        throw;
    }
    return readTagged(tag, keep, doing);
}

void ImapExchange::logout()
{
    if (!m_connection.isOpen())
        return;
    // Best effort and bounded: a server that does not answer in time is cut off.
    const QByteArray tag = begin();
    m_connection.setDeadline(Clock::now() + logoutBound);
    const QString doing = QStringLiteral("log out");
    try {
        send(tag + " LOGOUT\r\n", doing);
        while (read(doing).tag != tag) {
        }
    } catch (const SendCancelled &) {
    } catch (const Failure &) {
    }
    close();
}
