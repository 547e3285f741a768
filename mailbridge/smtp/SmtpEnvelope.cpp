#include "mailbridge/smtp/SmtpEnvelope.h"

#include "common/Failure.h"
#include "mailbridge/Draft.h"
#include "mailbridge/compose/AddressText.h"
#include "mailbridge/compose/GMimeLibrary.h"

namespace {

QStringList addressesOf(const QString &text, const char *field)
{
    const auto list = parseAddressText(text);
    const QStringList addresses = mailboxAddresses(list.get());
    for (const QString &address : addresses) {
        if (!isSendableAddress(address))
            throw Failure(QStringLiteral("The address \"%1\" in %2 cannot be sent to: write it "
                                         "as name@example.org, without line breaks or spaces.")
                              .arg(address, QLatin1String(field)));
    }
    if (addresses.isEmpty())
        throw Failure(QStringLiteral("%1 holds no mail address (name@example.org): \"%2\".")
                          .arg(QLatin1String(field), text));
    return addresses;
}

} // namespace

SmtpEnvelope smtpEnvelope(const Draft &draft)
{
    initGMime();
    for (const auto &[text, field] :
         {std::pair{&draft.from, "Send from"}, std::pair{&draft.to, "Send to"}})
        if (text->contains(QLatin1Char('\r')) || text->contains(QLatin1Char('\n')) ||
            text->contains(QChar(0)))
            throw Failure(QStringLiteral("%1 holds a line break or NUL character, which cannot "
                                         "be sent.")
                              .arg(QLatin1String(field)));
    SmtpEnvelope envelope;
    envelope.sender = addressesOf(draft.from, "Send from").first();
    envelope.recipients = addressesOf(draft.to, "Send to");
    return envelope;
}
