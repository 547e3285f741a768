#pragma once

#include "mailbridge/review/FiledDrafts.h"

#include <QJsonObject>
#include <QString>

// The record of filed drafts as one JSON file for this user's eyes only, replaced whole on each
// change under a lock, so that two Sends at once lose neither's drafts. Bounded: past
// maxDraftsPerAccount the oldest are forgotten, and a file above maxBytes is not read.
class FiledDraftsFile : public FiledDrafts
{
public:
    static constexpr qsizetype maxBytes = 16 << 20;
    static constexpr int usualDraftsPerAccount = 20000;

    explicit FiledDraftsFile(QString path, int maxDraftsPerAccount = usualDraftsPerAccount);

    std::vector<FiledDraft> of(const QString &account) const override;
    void add(const QString &account, const FiledDraft &draft) override;
    void remove(const QString &account, const QStringList &messageIds) override;

private:
    QJsonObject read() const;
    void write(const QJsonObject &record) const;
    QString m_path;
    int m_maxDrafts;
};
