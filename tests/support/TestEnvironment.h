#pragma once

#include <QTemporaryDir>
#include <gtest/gtest.h>

// Points the settings store and the default outbox into a private temporary folder, so no
// test ever reads or writes the user's own. Installed by both test mains before any test runs.
class TestEnvironment
{
public:
    TestEnvironment();

    QString root() const { return m_dir.path(); }
    QString configHome() const { return m_dir.filePath(QStringLiteral("config")); }
    QString dataHome() const { return m_dir.filePath(QStringLiteral("data")); }

    // Empties the settings store and the data folder (the default outbox with it) and points
    // the environment at them again, so that no case sees what an earlier one left.
    void reset() const;

private:
    QTemporaryDir m_dir;
};

// Resets the environment before every case: all cases of a program run in one process when
// it is started directly.
class ResetBeforeEveryCase : public testing::EmptyTestEventListener
{
public:
    explicit ResetBeforeEveryCase(const TestEnvironment &environment) : m_environment(environment)
    {
    }
    void OnTestStart(const testing::TestInfo &) override { m_environment.reset(); }

private:
    const TestEnvironment &m_environment;
};
