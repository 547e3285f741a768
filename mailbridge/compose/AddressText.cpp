#include "mailbridge/compose/AddressText.h"

#include <algorithm>

#include "mailbridge/compose/ControlCharacters.h"
#include "mailbridge/compose/HeaderEncoding.h"

QStringList splitAddressText(const QString &text)
{
    QStringList pieces;
    QString piece;
    bool quoted = false;
    bool escaped = false;
    int angleDepth = 0;
    int commentDepth = 0;
    const auto finishPiece = [&] {
        if (!piece.trimmed().isEmpty())
            pieces << piece.trimmed();
        piece.clear();
    };
    for (const QChar c : text) {
        if (escaped) {
            escaped = false;
        } else if (c == QLatin1Char('\\') && (quoted || commentDepth > 0)) {
            escaped = true;
        } else if (quoted) {
            quoted = c != QLatin1Char('"');
        } else if (c == QLatin1Char('"') && commentDepth == 0) {
            quoted = true;
        } else if (c == QLatin1Char('(')) {
            ++commentDepth;
        } else if (c == QLatin1Char(')') && commentDepth > 0) {
            --commentDepth;
        } else if (commentDepth == 0 && c == QLatin1Char('<')) {
            ++angleDepth;
        } else if (commentDepth == 0 && c == QLatin1Char('>') && angleDepth > 0) {
            --angleDepth;
        } else if (commentDepth == 0 && angleDepth == 0 &&
                   (c == QLatin1Char(',') || c == QLatin1Char(';') || c == QLatin1Char('\r') ||
                    c == QLatin1Char('\n'))) {
            finishPiece();
            continue;
        }
        piece += c;
    }
    finishPiece();
    return pieces;
}

namespace {

// GMime decodes whatever looks like an encoded word while it parses, so "=?" would not come
// back as typed. A private-use character the text does not hold stands in for it meanwhile.
QChar standInFor(const QString &text)
{
    char16_t c = 0xE000;
    while (c < 0xF8FF && text.contains(QChar(c)))
        ++c;
    return QChar(c);
}

// Sets the name to be written: in UTF-8, and as encoded words when a reader would otherwise
// decode part of it.
void setName(InternetAddress *address, const QString &name)
{
    const QByteArray written =
        looksLikeEncodedWord(name) ? encodedWords(name).join(' ') : name.toUtf8();
    internet_address_set_name(address, name.isEmpty() ? nullptr : written.constData());
    internet_address_set_charset(address, "utf-8");
}

// Puts "=?" back into every name and address of the list and makes the names ready.
void restore(InternetAddressList *list, QChar standIn)
{
    const auto restored = [standIn](const char *text) {
        return QString::fromUtf8(text).replace(standIn, QLatin1Char('='));
    };
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i); // borrowed
        setName(address, restored(internet_address_get_name(address)));
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            auto *mailbox = INTERNET_ADDRESS_MAILBOX(address);
            const QByteArray addr = restored(internet_address_mailbox_get_addr(mailbox)).toUtf8();
            internet_address_mailbox_set_addr(mailbox, addr.constData());
        } else if (INTERNET_ADDRESS_IS_GROUP(address)) {
            restore(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), standIn);
        }
    }
}

} // namespace

GObjectPtr<InternetAddressList> parseAddressText(const QString &text)
{
    // New lists and addresses come with one reference, each held by a GObjectPtr; adding to
    // a list takes a reference of the list's own.
    auto addresses = adoptGObject(internet_address_list_new());
    for (const QString &piece : splitAddressText(text)) {
        GObjectPtr<InternetAddressList> parsed;
        if (!hasControlCharacter(piece)) {
            const QChar standIn = standInFor(piece);
            const QByteArray masked =
                QString(piece)
                    .replace(QLatin1String("=?"), QString(standIn) + QLatin1Char('?'))
                    .toUtf8();
            parsed = adoptGObject(internet_address_list_parse(nullptr, masked.constData()));
            if (parsed)
                restore(parsed.get(), standIn);
        }
        if (parsed && internet_address_list_length(parsed.get()) > 0) {
            internet_address_list_append(addresses.get(), parsed.get());
        } else {
            auto group = adoptGObject(internet_address_group_new(""));
            setName(group.get(), piece);
            internet_address_list_add(addresses.get(), group.get());
        }
    }
    return addresses;
}

int mailboxCount(InternetAddressList *list)
{
    int count = 0;
    for (int i = 0; list && i < internet_address_list_length(list); ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i); // borrowed
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            const QByteArray addr(
                internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
            const qsizetype at = addr.lastIndexOf('@');
            count += at > 0 && at + 1 < addr.size() ? 1 : 0;
        } else if (INTERNET_ADDRESS_IS_GROUP(address))
            count +=
                mailboxCount(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)));
    }
    return count;
}

QStringList mailboxAddresses(InternetAddressList *list, AddressForm form)
{
    QStringList addresses;
    const int count = list ? internet_address_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i); // borrowed
        QStringList found;
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            // Groups do not nest: their members are mailboxes.
            found = mailboxAddresses(
                internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), form);
        } else {
            InternetAddressMailbox *mailbox = INTERNET_ADDRESS_MAILBOX(address);
            const char *text = form == AddressForm::Ascii
                                   ? internet_address_mailbox_get_idn_addr(mailbox)
                                   : internet_address_mailbox_get_addr(mailbox);
            found << QString::fromUtf8(text ? text : "");
        }
        for (const QString &text : found)
            if (!text.isEmpty() && !addresses.contains(text, Qt::CaseInsensitive))
                addresses << text;
    }
    return addresses;
}

QStringList mailboxAddresses(const QString &text)
{
    return mailboxAddresses(parseAddressText(text).get(), AddressForm::AsWritten);
}

bool isSendableAddress(const QString &address)
{
    return address.contains(QLatin1Char('@')) &&
           std::none_of(address.cbegin(), address.cend(), [](QChar c) {
               return c.unicode() <= 0x20 || c.unicode() == 0x7f || c == QLatin1Char('<') ||
                      c == QLatin1Char('>');
           });
}
