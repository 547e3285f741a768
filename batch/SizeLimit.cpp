#include "batch/SizeLimit.h"

#include "common/Failure.h"

#include <QRegularExpression>
#include <cmath>

double sizeLimitBytes(const QString &sizeText)
{
    // toDouble alone would also take "inf", "nan" and hex forms.
    static const QRegularExpression number(
        QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?\\s*$"));
    bool ok = false;
    const double kilobytes = number.match(sizeText).hasMatch() ? sizeText.toDouble(&ok) : 0.0;
    if (!ok)
        throw Refusal(
            QStringLiteral("The maximum message size \"%1\" is not a number of kilobytes.")
                .arg(sizeText));
    const double limit = kilobytes * 1024.0;
    if (!std::isfinite(limit))
        throw Refusal(
            QStringLiteral("The maximum message size \"%1\" is too large.").arg(sizeText));
    return limit;
}
