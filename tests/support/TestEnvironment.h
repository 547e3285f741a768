#pragma once

#include <QTemporaryDir>

// Points the settings store and the default outbox into a private temporary folder, so no
// test ever reads or writes the user's own. Installed by both test mains before any test runs.
class TestEnvironment
{
public:
    TestEnvironment();

    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
