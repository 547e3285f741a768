#include "mailbridge/review/DraftHeader.h"

#include "common/Failure.h"
#include "mailbridge/compose/AddressText.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "mailbridge/compose/GObjectPtr.h"

namespace {

bool startsField(const QByteArray &line, const char *name)
{
    const qsizetype length = qsizetype(qstrlen(name));
    return line.size() > length && line[length] == ':' &&
           line.first(length).compare(name, Qt::CaseInsensitive) == 0;
}

// The header without the Bcc field and its folded lines: the recipients it names get the
// message, and must not learn of each other.
QByteArray withoutBcc(const QByteArray &header)
{
    QByteArray kept;
    kept.reserve(header.size());
    bool inBcc = false;
    qsizetype from = 0;
    while (from < header.size()) {
        qsizetype end = header.indexOf('\n', from);
        end = end < 0 ? header.size() : end + 1;
        const QByteArray line = header.sliced(from, end - from);
        const bool folded = line.startsWith(' ') || line.startsWith('\t');
        if (!folded)
            inBcc = startsField(line, "Bcc");
        if (!inBcc)
            kept += line;
        from = end;
    }
    return kept;
}

QStringList addressesIn(GMimeMessage *message, GMimeAddressType type)
{
    return mailboxAddresses(g_mime_message_get_addresses(message, type));
}

} // namespace

std::optional<qsizetype> headerLength(const QByteArray &start)
{
    if (start.startsWith("\r\n"))
        return 2;
    const qsizetype end = start.indexOf("\r\n\r\n");
    if (end < 0)
        return std::nullopt;
    return end + 4;
}

DraftHeader readDraftHeader(const QByteArray &header, const QString &description)
{
    initGMime();
    auto stream = adoptGObject(
        g_mime_stream_mem_new_with_buffer(header.constData(), std::size_t(header.size())));
    auto parser = adoptGObject(g_mime_parser_new_with_stream(stream.get()));
    auto message = adoptGObject(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message)
        throw Failure(QStringLiteral("The draft \"%1\" has no header that can be read; it was "
                                     "not sent.")
                          .arg(description));
    DraftHeader read;
    QStringList senders = addressesIn(message.get(), GMIME_ADDRESS_TYPE_FROM);
    if (senders.isEmpty())
        senders = addressesIn(message.get(), GMIME_ADDRESS_TYPE_SENDER);
    for (const GMimeAddressType type :
         {GMIME_ADDRESS_TYPE_TO, GMIME_ADDRESS_TYPE_CC, GMIME_ADDRESS_TYPE_BCC})
        for (const QString &address : addressesIn(message.get(), type))
            if (!read.recipients.contains(address, Qt::CaseInsensitive))
                read.recipients << address;
    if (senders.isEmpty())
        throw Failure(QStringLiteral("The draft \"%1\" says nobody it is from (From); it was not "
                                     "sent. Fill in From in your mail program.")
                          .arg(description));
    if (read.recipients.isEmpty())
        throw Failure(QStringLiteral("The draft \"%1\" is to nobody (no address in To, Cc or "
                                     "Bcc); it was not sent.")
                          .arg(description));
    read.sender = senders.first();
    for (const QString &address : QStringList{read.sender} + read.recipients)
        if (!isSendableAddress(address))
            throw Failure(QStringLiteral("The address \"%1\" in the draft \"%2\" cannot be sent "
                                         "to: it should read name@example.org, without spaces. "
                                         "The draft was not sent.")
                              .arg(address, description));
    read.outgoing = withoutBcc(header);
    return read;
}
