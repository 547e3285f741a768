#include "mailbridge/compose/AddressText.h"

#include "mailbridge/compose/ControlCharacters.h"

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

GObjectPtr<InternetAddressList> parseAddressText(const QString &text)
{
    // New lists and addresses come with one reference, each held by a GObjectPtr; adding to
    // a list takes a reference of the list's own.
    auto addresses = adoptGObject(internet_address_list_new());
    for (const QString &piece : splitAddressText(text)) {
        const QByteArray utf8 = piece.toUtf8();
        GObjectPtr<InternetAddressList> parsed;
        if (!hasControlCharacter(piece))
            parsed = adoptGObject(internet_address_list_parse(nullptr, utf8.constData()));
        if (parsed && internet_address_list_length(parsed.get()) > 0) {
            internet_address_list_append(addresses.get(), parsed.get());
        } else {
            auto group = adoptGObject(internet_address_group_new(utf8.constData()));
            internet_address_list_add(addresses.get(), group.get());
        }
    }
    return addresses;
}
