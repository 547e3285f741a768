#include "support/FakeMailApplication.h"

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"

class FakeMailItem : public MailItem
{
public:
    FakeMailItem(FakeMailApplication &app, std::shared_ptr<FakeMailApplication::Message> message)
        : m_app(app), m_message(std::move(message))
    {
    }

    QString Subject() const override { return record("Subject?").subject; }
    void setSubject(const QString &text) override { record("Subject=" + text).subject = text; }
    void setTo(const QString &to) override { record("To=" + to).to = to; }
    void setFrom(const QString &from) override { record("From=" + from).from = from; }
    void setDeleteAfterSubmit(bool value) override
    {
        record(QStringLiteral("DeleteAfterSubmit=%1").arg(int(value))).deleteAfterSubmit = value;
    }
    void addAttachment(const QString &path) override { record("Add=" + path).attachments << path; }
    void Send(TransferMonitor &monitor) override
    {
        record("Send");
        if (m_app.onSend)
            m_app.onSend(m_app.sendCount, monitor);
        ++m_app.sendCount;
        m_message->sent = true;
        ++m_app.sentCount;
    }

private:
    // The message to change, once the call is recorded: a call made to fail changes nothing.
    FakeMailApplication::Message &record(const QString &call) const
    {
        m_app.record(call);
        return *m_message;
    }

    FakeMailApplication &m_app;
    std::shared_ptr<FakeMailApplication::Message> m_message;
};

std::unique_ptr<MailItem> FakeMailApplication::CreateItem(ItemType type)
{
    record(QStringLiteral("CreateItem %1").arg(int(type)));
    items.push_back(std::make_shared<Message>());
    return std::make_unique<FakeMailItem>(*this, items.back());
}

std::vector<FakeMailApplication::Message> FakeMailApplication::sentMessages() const
{
    std::vector<Message> sent;
    for (const auto &item : items)
        if (item->sent)
            sent.push_back(*item);
    return sent;
}

void FakeMailApplication::record(const QString &call)
{
    calls << call;
    if (!failOn.isEmpty() && call == failOn)
        throw Failure(QStringLiteral("The mail client refused: ") + call);
}
