#include "support/FakeOutbox.h"

#include "common/Failure.h"
#include "mailbridge/TransferMonitor.h"

void FakeOutbox::file(const Draft &draft, TransferMonitor &monitor)
{
    offered.push_back(draft);
    m_filed.push_back(false);
    if (!failOnPath.isEmpty() && draft.attachmentPaths.contains(failOnPath))
        throw Failure(QStringLiteral("The outbox refused ") + failOnPath);
    if (onFile)
        onFile(int(offered.size()) - 1, monitor);
    m_filed.back() = true;
    ++filedCount;
}

std::vector<Draft> FakeOutbox::filed() const
{
    std::vector<Draft> drafts;
    for (std::size_t i = 0; i < offered.size(); ++i)
        if (m_filed[i])
            drafts.push_back(offered[i]);
    return drafts;
}
