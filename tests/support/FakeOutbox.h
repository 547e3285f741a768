#pragma once

#include "mailbridge/compose/ComposingOutbox.h"

#include <QStringList>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

class TransferMonitor;

// An outbox that keeps the drafts it is given, for tests of what a Send files and when.
class FakeOutbox : public ComposingOutbox
{
public:
    ~FakeOutbox() override
    {
        if (onDestroyed)
            onDestroyed();
    }

    void file(const Draft &draft, TransferMonitor &monitor) override;
    QString destination() const override { return where; }
    QString localFolder() const override { return folder; }
    std::optional<std::uint64_t> messageSizeLimit() override { return sizeLimit; }
    LineEnding lineEnding() const override { return ending; }
    bool sendsOn() const override { return sends; }
    bool needsPassword() const override { return password.isNull() && wantsPassword; }
    void setPassword(const QString &given) override { password = given; }

    QString folder; // empty: the messages are nowhere on this machine
    QString where = QStringLiteral("the test outbox");
    std::function<void()> onDestroyed;
    // With a limit, the Send sizes real files as an outbox with these line endings would.
    std::optional<std::uint64_t> sizeLimit;
    LineEnding ending = LineEnding::Lf;
    bool wantsPassword = false;
    bool sends = false; // sends messages on, as SMTP does
    QString password;

    // Every draft handed to file(), in order, filed or not.
    std::vector<Draft> offered;
    // The drafts filed, in order.
    std::vector<Draft> filed() const;
    // file() refuses, with a Failure, a draft that carries this path.
    QString failOnPath;
    // Runs in every file() before the draft counts as filed, with the Send's monitor; may
    // throw as an outbox would. Gets the number of the call, from 0.
    std::function<void(int call, TransferMonitor &monitor)> onFile;
    // How many drafts were filed; the one figure a test may read while the Send runs.
    std::atomic<int> filedCount{0};

private:
    std::vector<bool> m_filed;
};
