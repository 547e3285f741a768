#pragma once

#include <QString>
#include <stdexcept>

// A failure the person at the window can act on: the description names the file or folder
// and the system's reason. Thrown where the failure happens, shown once at the event boundary.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const QString &description);

    QString description() const { return m_description; }

private:
    QString m_description;
};

// One of the entry checks of a Send turned the click down: shown as an "Error" box.
class Refusal : public Failure
{
public:
    using Failure::Failure;
};

// "<what>: <reason>" with the reason of the last failing C library call (errno).
QString describeSystemError(const QString &what, int errnoValue);
