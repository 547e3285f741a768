#pragma once

#include "ParsedMessage.h"
#include "mailbridge/maildir/MaildirOutbox.h"
#include "support/TestTools.h"

#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// An outbox in a fresh temporary folder, with helpers to make source files and look inside.
class OutboxFixture : public testing::Test
{
protected:
    OutboxFixture();

    // A file of that name in the temporary folder; returns its path.
    QString writeFile(const QString &name, const QByteArray &bytes);
    QString writeRandomFile(const QString &name, qsizetype size);
    // Full paths of the files in new/ or tmp/, sorted by name.
    QStringList filesIn(const QString &subfolder) const;
    // The message file sent first (by name) in new/, parsed.
    ParsedMessage firstSent() const { return parseMessageFile(filesIn("new").value(0)); }

    QTemporaryDir dir;
    QString outboxPath;
    MaildirOutbox outbox;
};

// Runs body in a forked child and returns its exit code (128 + signal when killed), for what
// must not touch this process: resource limits, another user id.
int runInChild(const std::function<int()> &body);
