#pragma once

#include <QString>
#include <QStringList>

// One message as the Send hands it to an outbox: who it is from and to, its subject, and the
// files it carries. The outbox composes and files it; sizing asks about the same shape.
struct Draft
{
    QString to;
    QString from;
    QString subject;
    QStringList attachmentPaths; // in the order they go in
};
