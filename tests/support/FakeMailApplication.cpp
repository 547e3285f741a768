#include "support/FakeMailApplication.h"

#include "common/Failure.h"

class FakeMailItem : public MailItem
{
public:
    FakeMailItem(FakeMailApplication &app, std::shared_ptr<FakeMailApplication::Message> message)
        : m_app(app), m_message(std::move(message))
    {
    }

    QString Subject() const override
    {
        m_app.record(QStringLiteral("Subject?"));
        return m_message->subject;
    }
    void setSubject(const QString &subject) override
    {
        m_app.record(QStringLiteral("Subject=") + subject);
        m_message->subject = subject;
    }
    void setTo(const QString &to) override
    {
        m_app.record(QStringLiteral("To=") + to);
        m_message->to = to;
    }
    void setFrom(const QString &from) override
    {
        m_app.record(QStringLiteral("From=") + from);
        m_message->from = from;
    }
    void setDeleteAfterSubmit(bool value) override
    {
        m_app.record(QStringLiteral("DeleteAfterSubmit=%1").arg(int(value)));
        m_message->deleteAfterSubmit = value;
    }
    void addAttachment(const QString &path) override
    {
        m_app.record(QStringLiteral("Add=") + path);
        m_message->attachments << path;
    }
    void Send() override
    {
        m_app.record(QStringLiteral("Send"));
        m_message->sent = true;
    }

private:
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
