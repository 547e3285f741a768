#include "mailbridge/DeliveryWords.h"

namespace {

// Two addresses still fit the line under the list; more are only counted.
constexpr qsizetype addressesNamed = 2;

} // namespace

QString countOf(int count, const QString &noun)
{
    return QStringLiteral("%1 %2%3").arg(count).arg(noun,
                                                    count == 1 ? QString() : QStringLiteral("s"));
}

QString recipientsText(const QStringList &addresses)
{
    if (addresses.size() <= addressesNamed)
        return addresses.join(QStringLiteral(" and "));
    const int others = int(addresses.size() - addressesNamed);
    return QStringLiteral("%1 and %2")
        .arg(addresses.mid(0, addressesNamed).join(QStringLiteral(", ")),
             countOf(others, QStringLiteral("other")));
}
