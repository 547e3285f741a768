#include "mailbridge/smtp/SmtpEnvelope.h"

#include "common/Failure.h"
#include "mailbridge/Draft.h"
#include "mailbridge/compose/AddressText.h"
#include "mailbridge/compose/GMimeLibrary.h"

namespace {

void collect(InternetAddressList *list, QStringList &addresses)
{
    const int count = internet_address_list_length(list);
    for (int i = 0; i < count; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            collect(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), addresses);
            continue;
        }
        const char *idn = internet_address_mailbox_get_idn_addr(INTERNET_ADDRESS_MAILBOX(address));
        const QString text = QString::fromUtf8(idn ? idn : "");
        if (!text.isEmpty() && !addresses.contains(text, Qt::CaseInsensitive))
            addresses << text;
    }
}

QStringList addressesOf(const QString &text, const char *field)
{
    const auto list = parseAddressText(text);
    QStringList addresses;
    collect(list.get(), addresses);
    for (const QString &address : addresses) {
        const bool unusable = !address.contains(QLatin1Char('@')) ||
                              std::any_of(address.cbegin(), address.cend(), [](QChar c) {
                                  return c.unicode() <= 0x20 || c.unicode() == 0x7f ||
                                         c == QLatin1Char('<') || c == QLatin1Char('>');
                              });
        if (unusable)
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
