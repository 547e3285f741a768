#pragma once

#include "QtPrinting.h"
#include "mailbridge/MaildirOutbox.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <gtest/gtest.h>

// An outbox in a fresh temporary folder, with helpers to make source files and look inside.
class OutboxFixture : public testing::Test
{
protected:
    OutboxFixture();

    QString writeFile(const QString &name, const QByteArray &bytes);
    QString writeRandomFile(const QString &name, qsizetype size);
    // Full paths of the files in new/ or tmp/, sorted by name.
    QStringList filesIn(const QString &subfolder) const;

    QTemporaryDir dir;
    QString outboxPath;
    MaildirOutbox outbox;
};

QByteArray randomBytes(qsizetype size, quint32 seed);
QByteArray fileBytes(const QString &path);

// Runs body in a forked child and returns its exit code (128 + signal when killed), for what
// must not touch this process: resource limits, another user id.
int runInChild(const std::function<int()> &body);
