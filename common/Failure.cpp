#include "common/Failure.h"

#include <cstring>

Failure::Failure(const QString &description)
    : std::runtime_error(description.toStdString()), m_description(description)
{
}

QString describeSystemError(const QString &what, int errnoValue)
{
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errnoValue)));
}
