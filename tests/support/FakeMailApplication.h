#pragma once

#include "mailbridge/MailApplication.h"

#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A mail client that records every call in order, for tests of what is sent and how.
class TransferMonitor;

class FakeMailApplication : public MailApplication
{
public:
    struct Message
    {
        QString subject;
        QString to;
        QString from;
        bool deleteAfterSubmit = false;
        QStringList attachments;
        bool sent = false;
    };

    std::unique_ptr<MailItem> CreateItem(ItemType type = olMailItem) override;
    ~FakeMailApplication() override
    {
        if (onDestroyed)
            onDestroyed();
    }

    QString destination() const override { return QStringLiteral("the test outbox"); }
    QString localFolder() const override { return folder; }
    QString folder; // empty: the messages are nowhere on this machine
    std::function<void()> onDestroyed;
    std::optional<std::uint64_t> messageSizeLimit() override { return sizeLimit; }
    LineEnding lineEnding() const override { return ending; }

    // With a limit, the Send sizes real files as an outbox with these line endings would.
    std::optional<std::uint64_t> sizeLimit;
    LineEnding ending = LineEnding::Lf;

    bool needsPassword() const override { return password.isNull() && wantsPassword; }
    void setPassword(const QString &given) override { password = given; }
    bool wantsPassword = false;
    QString password;

    // Every call as a line: "CreateItem 0", "Subject?", "Subject=x", "To=x", "From=x",
    // "DeleteAfterSubmit=1", "Add=path", "Send".
    QStringList calls;
    // Every item created, in order; shared with the items so they outlive them.
    std::vector<std::shared_ptr<Message>> items;
    // Makes the call whose line equals this fail with a Failure.
    QString failOn;
    // Runs at every Send before the message counts as sent, with the Send's monitor; may
    // throw as an outbox would. Gets the number of the Send, from 0.
    std::function<void(int send, TransferMonitor &monitor)> onSend;

    std::vector<Message> sentMessages() const;
    // How many Sends have ended; the one figure a test may read while the Send runs.
    std::atomic<int> sentCount{0};

private:
    friend class FakeMailItem;
    int sendCount = 0;
    void record(const QString &call);
};
