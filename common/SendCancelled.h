#pragma once

#include <QString>
#include <stdexcept>

// The Send was stopped on request; what was filed before stays filed. Deliberately not a
// Failure: a handler that turns failures into a report or a retry must never swallow a cancel.
class SendCancelled : public std::runtime_error
{
public:
    SendCancelled() : std::runtime_error("The Send was cancelled.") {}

    QString description() const { return QStringLiteral("The Send was cancelled."); }
};
