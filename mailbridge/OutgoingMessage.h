#pragma once

#include <QString>
#include <QStringList>

// A message as a Send plans it, before any mail item exists: enough for an outbox to say how
// large it will be where it is filed.
struct OutgoingMessage
{
    QString to;
    QString from;
    QString subject;
    QStringList attachmentPaths; // in the order they go in
};
