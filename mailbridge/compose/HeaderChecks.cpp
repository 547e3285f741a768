#include "mailbridge/compose/HeaderChecks.h"

#include "mailbridge/compose/AddressText.h"
#include "mailbridge/compose/GMimeLibrary.h"
#include "mailbridge/compose/MessageHeaders.h"

#include <QList>

#include <algorithm>

namespace {

constexpr qsizetype maxLineOctets = 998;

// The text as a message box can show it: control characters as their visible symbols, a
// long text shortened in the middle.
QString quoted(const QString &text)
{
    QString visible;
    for (const QChar c : text) {
        if (c.unicode() < 0x20)
            visible += QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7f)
            visible += QChar(0x2421);
        else
            visible += c;
    }
    if (visible.size() > 80)
        visible = visible.left(50) + QChar(0x2026) + visible.right(20);
    return QLatin1Char('"') + visible + QLatin1Char('"');
}

// NUL ends a text in every C library on the way; a lone half of a surrogate pair is no
// character at all. Neither survives any encoding.
std::optional<QString> unencodable(const QString &text, const QString &what)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isNull())
            return QStringLiteral("The %1 %2 holds a NUL character, which no message can carry.")
                .arg(what, quoted(text));
        const bool loneHigh =
            c.isHighSurrogate() && !(i + 1 < text.size() && text[i + 1].isLowSurrogate());
        const bool loneLow = c.isLowSurrogate() && !(i > 0 && text[i - 1].isHighSurrogate());
        if (loneHigh || loneLow)
            return QStringLiteral("The %1 %2 holds an invalid character (half of a surrogate "
                                  "pair), which no message can carry.")
                .arg(what, quoted(text));
    }
    return std::nullopt;
}

// The header lines the message would get for the text: both address headers, since
// folding depends on the header's name.
QList<QByteArray> addressHeaderLines(const QString &text)
{
    initGMime();
    auto message = adoptGObject(g_mime_message_new(FALSE));
    setAddressHeader(message.get(), GMIME_ADDRESS_TYPE_FROM, text);
    setAddressHeader(message.get(), GMIME_ADDRESS_TYPE_TO, text);
    const GCharPtr headers(g_mime_header_list_to_string(
        g_mime_object_get_header_list(GMIME_OBJECT(message.get())), nullptr));
    return QByteArray(headers.get()).split('\n');
}

// The first address of the list whose written form is not plain ASCII.
QString firstNonAsciiAddress(InternetAddressList *list)
{
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i); // borrowed
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            const QString inner = firstNonAsciiAddress(
                internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
            if (!inner.isEmpty())
                return inner;
        } else if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            auto *mailbox = INTERNET_ADDRESS_MAILBOX(address);
            const QByteArray idn(internet_address_mailbox_get_idn_addr(mailbox));
            if (std::any_of(idn.cbegin(), idn.cend(), [](char c) { return c & 0x80; }))
                return QString::fromUtf8(internet_address_mailbox_get_addr(mailbox));
        }
    }
    return QString();
}

} // namespace

bool hasAddress(const QString &text)
{
    if (unencodable(text, QString()))
        return false;
    initGMime();
    return mailboxCount(parseAddressText(text).get()) > 0;
}

std::optional<QString> addressTextProblem(const QString &text)
{
    const QString what = QStringLiteral("address text");
    if (const auto problem = unencodable(text, what))
        return problem;
    const QList<QByteArray> lines = addressHeaderLines(text);
    const auto isEightBit = [](const QByteArray &line) {
        return std::any_of(line.cbegin(), line.cend(), [](char c) { return c & 0x80; });
    };
    if (std::any_of(lines.cbegin(), lines.cend(), isEightBit)) {
        const QString address = firstNonAsciiAddress(parseAddressText(text).get());
        if (address.isEmpty())
            return QStringLiteral("The %1 %2 cannot go into a message: it would need characters "
                                  "other than plain ASCII in a header.")
                .arg(what, quoted(text));
        return QStringLiteral("The %1 %2 cannot go into a message: the address %3 has characters "
                              "other than plain ASCII before the @.")
            .arg(what, quoted(text), quoted(address));
    }
    const auto longest = std::max_element(
        lines.cbegin(), lines.cend(),
        [](const QByteArray &a, const QByteArray &b) { return a.size() < b.size(); });
    if (longest != lines.cend() && longest->size() > maxLineOctets)
        return QStringLiteral("The %1 %2 cannot go into a message: an address in it is too long "
                              "for a header line (%3 characters, at most %4).")
            .arg(what, quoted(text))
            .arg(longest->size())
            .arg(maxLineOctets);
    return std::nullopt;
}

std::optional<QString> headerTextProblem(const QString &text)
{
    return unencodable(text, QStringLiteral("subject"));
}
