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
    QString stateHome() const { return m_dir.filePath(QStringLiteral("state")); }

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

// ctest runs one case per process and counts it as skipped on this exit code (the tests'
// SKIP_RETURN_CODE): a case that ends in GTEST_SKIP, because the machine lacks what it needs,
// is then reported as skipped, with its reason in the output, rather than as passed.
constexpr int skippedExitCode = 77;

// RUN_ALL_TESTS()'s result, or skippedExitCode when every case that ran was skipped.
int exitCodeFor(int testResult);
