#include "mailbridge/compose/ComposedItem.h"

#include "mailbridge/compose/AttachmentInspections.h"

QString ComposedItem::Subject() const
{
    return m_content.subject;
}

void ComposedItem::setSubject(const QString &subject)
{
    checkUnsent();
    m_content.subject = subject;
}

void ComposedItem::setTo(const QString &recipients)
{
    checkUnsent();
    m_content.to = recipients;
}

void ComposedItem::setFrom(const QString &sender)
{
    checkUnsent();
    m_content.from = sender;
}

void ComposedItem::setDeleteAfterSubmit(bool)
{
    checkUnsent();
}

void ComposedItem::addAttachment(const QString &sourcePath)
{
    checkUnsent();
    m_content.attachments.push_back(m_inspections ? m_inspections->take(sourcePath)
                                                  : inspectAttachment(sourcePath));
}

void ComposedItem::reuseInspections(std::shared_ptr<AttachmentInspections> inspections)
{
    m_inspections = std::move(inspections);
}

void ComposedItem::Send(TransferMonitor &monitor)
{
    checkUnsent();
    try {
        file(m_content, monitor);
    } catch (const FiledWithFailure &) {
        m_sent = true;
        throw;
    } catch (const PerhapsFiled &) {
        m_sent = true;
        throw;
    }
    m_sent = true;
}

void ComposedItem::checkUnsent() const
{
    if (m_sent)
        throw Failure(QStringLiteral("The message \"%1\" was already put into %2")
                          .arg(m_content.subject, filedPlace()));
}
